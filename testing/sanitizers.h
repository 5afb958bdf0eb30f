#ifndef ZARN_TESTING_SANITIZERS_H_
#define ZARN_TESTING_SANITIZERS_H_

// ZARN_ADDRESS_SANITIZER and ZARN_THREAD_SANITIZER are defined in a build with that
// sanitizer: GCC names them in macros, clang only through __has_feature.
#if defined(__SANITIZE_ADDRESS__)
#define ZARN_ADDRESS_SANITIZER 1
#endif
#if defined(__SANITIZE_THREAD__)
#define ZARN_THREAD_SANITIZER 1
#endif
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZARN_ADDRESS_SANITIZER 1
#endif
#if __has_feature(thread_sanitizer)
#define ZARN_THREAD_SANITIZER 1
#endif
#endif

#endif  // ZARN_TESTING_SANITIZERS_H_
