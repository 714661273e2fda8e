/* Playing a wave file through WINMM. What is heard, and when, is the
   calculator's: RpnStack::Sound. */
#include <windows.h>
#include <mmsystem.h>
#include "tavlib.h"
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

void PlayWave(const char *name)
{
    /* Without WINMM the program goes on without sound */
    SndPlaySoundProc play = (SndPlaySoundProc)(void (*)(void))LoadSystemProc(&winmm);

    /* Synchronous: a sound played while another still plays cuts it short,
       and a spoken number is one sound a character */
    if (play)
        play(name, SND_SYNC);
}
