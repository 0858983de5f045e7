#pragma once

#include <cstdio>
#include <cstdlib>

// Checks that a call meant for one thread runs there. On in debug and
// sanitizer builds (GLOWMERE_THREAD_CHECKS), compiled away elsewhere. A failed
// check names the call and ends the process, so a test that crosses threads
// the wrong way fails where it happened.
#ifdef GLOWMERE_THREAD_CHECKS
#define GLOWMERE_EXPECT_THREAD(onIt, what)                                                            \
    do {                                                                                              \
        if (!(onIt)) {                                                                                \
            std::fprintf(stderr, "%s:%d: %s called on the wrong thread\n", __FILE__, __LINE__, what); \
            std::abort();                                                                             \
        }                                                                                             \
    } while (0)
#else
#define GLOWMERE_EXPECT_THREAD(onIt, what) ((void)0)
#endif

// The controller thread: the loop's own thread, or any thread while the loop
// is pumped by hand (unit tests) rather than running.
#define GLOWMERE_EXPECT_LOOP_THREAD(loop, what) \
    GLOWMERE_EXPECT_THREAD((loop).isLoopThread() || !(loop).isRunning(), what)
