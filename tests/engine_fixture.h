/* A fresh calculator on the Win32 stand-in for every test */
#ifndef ENGINE_FIXTURE_H
#define ENGINE_FIXTURE_H

#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "fakewin.h"
#include "globals.h"
#include "resource.h"

class Engine : public ::testing::Test
{
protected:
    void SetUp() override;

    /* Each character is the command of its code; '~' stands for Enter and
       '<' for backspace */
    void Keys(const char *keys);
    void Press(UINT code) { calculator.HandleKey(code); }

    /* Puts values on the stack as finished numbers, the last one in X */
    void Load(const std::vector<double> &stackValues);

    std::vector<double> Stack();                /* X first */
    std::vector<std::string> Lines();           /* X, Y, Z, T */
    std::string Line(int i) { return fake::world.controls[IDC_LINE_X + i]; }

    /* The recorded events since the last call */
    std::vector<std::string> Events();
    std::vector<std::string> Boxes();           /* their texts */
};

typedef std::vector<std::string> Texts;

#endif
