/* Sound feedback */
#include <windows.h>
#include <mmsystem.h>
#include <string.h>
#include "globals.h"
#include "velmo.h"

typedef BOOL (WINAPI *SndPlaySoundProc)(LPCSTR name, UINT flags);

/* WINMM is loaded when the first sound plays, not at start-up, and kept for
   the life of the process. It comes from the system directory only: the
   program's own folder may hold anything. */
static struct
{
    int tried;
    SndPlaySoundProc play;      /* null when WINMM could not be had */
} winmm;

static SndPlaySoundProc SoundPlayer(void)
{
    char path[MAX_PATH + 16];
    UINT n;
    HMODULE module;

    if (winmm.tried)
        return winmm.play;
    winmm.tried = 1;
    n = GetSystemDirectoryA(path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return NULL;
    strcpy(path + n, "\\winmm.dll");
    module = LoadLibraryA(path);
    if (module)
        winmm.play = (SndPlaySoundProc)(void (*)(void))GetProcAddress(module, "sndPlaySoundA");
    return winmm.play;
}

void ForgetSoundLibrary(void)
{
    winmm.tried = 0;
    winmm.play = NULL;
}

void PlaySoundFile(const char *name)
{
    SndPlaySoundProc play;

    /* What is heard goes with the lines as they are, also in a paste */
    if (!soundOn)
        return;
    calculator.FlushLines();
    /* Without WINMM the program goes on without sound */
    play = SoundPlayer();
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
