/* Host stand-in for the wave-sound call of WINMM */
#ifndef VELMO_FAKE_MMSYSTEM_H
#define VELMO_FAKE_MMSYSTEM_H

#include "windows.h"

#define SND_SYNC 0

BOOL sndPlaySoundA(LPCSTR name, UINT flags);

#endif
