/* The C library's string and memory functions that the program calls, and
   that the compiler calls for copies and cleared structures: the program's
   own, so that VELMO.exe needs no C runtime DLL. Built with
   -fno-builtin -fno-tree-loop-distribute-patterns, so that no loop here is
   turned back into a call to itself. The host tests build this file with
   CSTRING_NAME giving the functions other names, to compare them with the
   C library's. */
#include <stddef.h>

#ifndef CSTRING_NAME
#define CSTRING_NAME(name) name
#endif

extern "C" {

void *CSTRING_NAME(memcpy)(void *to, const void *from, size_t n)
{
    unsigned char *d = (unsigned char *)to;
    const unsigned char *s = (const unsigned char *)from;

    while (n--)
        *d++ = *s++;
    return to;
}

/* Overlapping blocks: copied from the end when the target lies above */
void *CSTRING_NAME(memmove)(void *to, const void *from, size_t n)
{
    unsigned char *d = (unsigned char *)to;
    const unsigned char *s = (const unsigned char *)from;

    if (d <= s || d >= s + n)
        return CSTRING_NAME(memcpy)(to, from, n);
    while (n--)
        d[n] = s[n];
    return to;
}

void *CSTRING_NAME(memset)(void *to, int c, size_t n)
{
    unsigned char *d = (unsigned char *)to;

    while (n--)
        *d++ = (unsigned char)c;
    return to;
}

/* Bytes compare as unsigned char, as in the C library */
int CSTRING_NAME(memcmp)(const void *a, const void *b, size_t n)
{
    const unsigned char *p = (const unsigned char *)a, *q = (const unsigned char *)b;

    for (; n; n--, p++, q++)
        if (*p != *q)
            return *p - *q;
    return 0;
}

size_t CSTRING_NAME(strlen)(const char *s)
{
    size_t n = 0;

    while (s[n])
        n++;
    return n;
}

size_t CSTRING_NAME(strnlen)(const char *s, size_t max)
{
    size_t n = 0;

    while (n < max && s[n])
        n++;
    return n;
}

int CSTRING_NAME(strcmp)(const char *a, const char *b)
{
    const unsigned char *p = (const unsigned char *)a, *q = (const unsigned char *)b;

    while (*p && *p == *q)
        p++, q++;
    return *p - *q;
}

/* The terminator counts as part of the string: strchr(s, 0) finds it */
char *CSTRING_NAME(strchr)(const char *s, int c)
{
    for (;; s++) {
        if (*s == (char)c)
            return const_cast<char *>(s);
        if (!*s)
            return NULL;
    }
}

char *CSTRING_NAME(strrchr)(const char *s, int c)
{
    const char *found = NULL;

    for (;; s++) {
        if (*s == (char)c)
            found = s;
        if (!*s)
            return const_cast<char *>(found);
    }
}

char *CSTRING_NAME(strcpy)(char *to, const char *from)
{
    char *d = to;

    while ((*d++ = *from++) != 0)
        ;
    return to;
}

/* Copies at most n bytes and fills the rest of the n with zeros; no
   terminator when from has n characters or more */
char *CSTRING_NAME(strncpy)(char *to, const char *from, size_t n)
{
    size_t i = 0;

    for (; i < n && from[i]; i++)
        to[i] = from[i];
    for (; i < n; i++)
        to[i] = 0;
    return to;
}

char *CSTRING_NAME(strcat)(char *to, const char *from)
{
    CSTRING_NAME(strcpy)(to + CSTRING_NAME(strlen)(to), from);
    return to;
}

}
