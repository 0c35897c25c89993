#pragma once

#if defined(_WIN32)
#if defined(OSGART_LIBRARY)
#define OSGART_EXPORT __declspec(dllexport)
#else
#define OSGART_EXPORT __declspec(dllimport)
#endif
#else
#define OSGART_EXPORT __attribute__((visibility("default")))
#endif
