/* Counts the frames a program shows: loaded with LD_PRELOAD, it stands in front of glXSwapBuffers
 * and, at most once a second, writes the number of swaps so far and the time of the last one (seconds
 * of the monotonic clock) as one line over the start of the file named by ORVANA_FRAME_COUNTER_FILE.
 * The soak bench reads it from outside. */
#include <GL/glx.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

typedef void (*SwapBuffers)(Display*, GLXDrawable);

static unsigned long long frames;
static time_t lastWrite;
static int counterFile = -2;

static void writeCount(const struct timespec* now)
{
    if (counterFile == -2) {
        const char* path = getenv("ORVANA_FRAME_COUNTER_FILE");
        counterFile = path ? open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644) : -1;
    }
    if (counterFile < 0)
        return;
    char line[64];
    const int length = snprintf(line, sizeof line, "%20llu %20.3f\n", frames,
                                (double)now->tv_sec + (double)now->tv_nsec / 1e9);
    if (pwrite(counterFile, line, (size_t)length, 0) != length)
        counterFile = -1;
}

void glXSwapBuffers(Display* display, GLXDrawable drawable)
{
    static SwapBuffers next;
    if (!next)
        next = (SwapBuffers)dlsym(RTLD_NEXT, "glXSwapBuffers");
    if (next)
        next(display, drawable);
    ++frames;
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    if (now.tv_sec != lastWrite) {
        lastWrite = now.tv_sec;
        writeCount(&now);
    }
}
