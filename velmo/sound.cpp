/* Sound feedback */
#include <windows.h>
#include <mmsystem.h>
#include "globals.h"
#include "velmo.h"

void PlaySoundFile(const char *name)
{
    /* What is heard goes with the lines as they are, also in a paste */
    if (soundOn) {
        calculator.FlushLines();
        sndPlaySoundA(name, SND_SYNC);
    }
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
