#include "engine_fixture.h"
#include "velmo.h"

static LRESULT RouteCommand(HWND, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_COMMAND)
        calculator.HandleKey((UINT)wParam);
    return 0;
}

void Engine::SetUp()
{
    fake::Reset();
    ForgetSoundLibrary();
    calculator = RpnStack();
    mathError = 0;
    soundOn = 1;
    mainWindow = fake::MainWindow();
    fake::world.windowProc = RouteCommand;
}

void Engine::Keys(const char *keys)
{
    for (; *keys; keys++)
        Press(*keys == '~' ? CMD_ENTER : *keys == '<' ? CMD_BACK : (UINT)(unsigned char)*keys);
}

void Engine::Load(const std::vector<double> &stackValues)
{
    for (double v : stackValues) {
        PushStatus status = {0};
        calculator.PushValue("", v, status, 0);
    }
    calculator.entryDone = 1;
    fake::world.events.clear();
}

std::vector<double> Engine::Stack()
{
    return std::vector<double>(calculator.values + calculator.top, calculator.values + STACK_SIZE);
}

std::vector<std::string> Engine::Lines()
{
    return {Line(0), Line(1), Line(2), Line(3)};
}

std::vector<std::string> Engine::Events()
{
    std::vector<std::string> events;
    events.swap(fake::world.events);
    return events;
}

std::vector<std::string> Engine::Boxes()
{
    std::vector<std::string> texts;
    for (const fake::Box &box : fake::world.boxes)
        texts.push_back(box.text);
    return texts;
}
