/* Sound feedback */
#include <windows.h>
#include <mmsystem.h>
#include "globals.h"
#include "velmo.h"

typedef BOOL (WINAPI *SndPlaySoundProc)(LPCSTR name, UINT flags);

/* WINMM is loaded when the first sound plays, not at start-up. Win32s keeps
   its 32-bit WINMM in SYSTEM\WIN32S: the SYSTEM folder's WINMM is the 16-bit one */
static SystemProc winmm = {"winmm.dll", "sndPlaySoundA", "WIN32S", 0, NULL};

void ForgetSoundLibrary(void)
{
    winmm.tried = 0;
    winmm.proc = NULL;
}

void PlaySoundFile(const char *name)
{
    SndPlaySoundProc play;

    /* What is heard goes with the lines as they are, also in a paste */
    if (!soundOn)
        return;
    calculator.FlushLines();
    /* Without WINMM the program goes on without sound */
    play = (SndPlaySoundProc)(void (*)(void))LoadSystemProc(&winmm);
    if (play)
        play(name, SND_SYNC);
}

void SpeakText(const char *text)
{
    char digit[] = "0.wav";

    for (; *text; text++) {
        switch (*text) {
        case '+': PlaySoundFile("plus.wav"); break;
        case '-': PlaySoundFile("minus.wav"); break;
        case '.': PlaySoundFile("point.wav"); break;
        case 'e': PlaySoundFile("e.wav"); break;
        default:
            if (*text >= '0' && *text <= '9') {
                digit[0] = *text;
                PlaySoundFile(digit);
            }
        }
    }
}
