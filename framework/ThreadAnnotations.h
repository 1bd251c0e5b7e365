// Clang's thread-safety annotations, so the compiler checks the locking rules the headers
// state: which mutex guards a member (GUARDED_BY), which functions must be called with it held
// (REQUIRES) or without it (EXCLUDES), and which types are locks. They expand to nothing for
// other compilers. The clang build (the sanitizer build) turns violations into errors.
#pragma once

#if defined(__clang__)
#define TARN_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define TARN_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(name) TARN_THREAD_ANNOTATION(capability(name))
#define SCOPED_CAPABILITY TARN_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(mutex) TARN_THREAD_ANNOTATION(guarded_by(mutex))
#define PT_GUARDED_BY(mutex) TARN_THREAD_ANNOTATION(pt_guarded_by(mutex))
#define ACQUIRED_BEFORE(...) TARN_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define ACQUIRED_AFTER(...) TARN_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))
#define REQUIRES(...) TARN_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define ACQUIRE(...) TARN_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) TARN_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) TARN_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define EXCLUDES(...) TARN_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define ASSERT_CAPABILITY(mutex) TARN_THREAD_ANNOTATION(assert_capability(mutex))
#define RETURN_CAPABILITY(mutex) TARN_THREAD_ANNOTATION(lock_returned(mutex))
#define NO_THREAD_SAFETY_ANALYSIS TARN_THREAD_ANNOTATION(no_thread_safety_analysis)
