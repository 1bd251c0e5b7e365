// GLib's MIME database keeps what it loads for the guesses of file types that the daemon's
// search results and shared files are named by, past the end of the threads that asked; the
// leak checker of sanitizer builds would count that once-per-process cache against the test
// (named by its library: without frame pointers the stack ends inside it).
extern "C" const char* __lsan_default_suppressions() { return "leak:libgio-2.0.so\n"; }
