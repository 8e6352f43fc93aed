#pragma once
// The shared main of the fuzz targets. Built with afl-g++-fast, a target runs in afl's persistent
// mode: one process takes many inputs from stdin. Built with any other compiler it runs once on
// each file named on the command line (a corpus replay), or once on stdin.

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#ifdef __AFL_LOOP
// afl's own __AFL_LOOP declares its loop function at block scope, which GCC mangles into the
// enclosing namespace; the same loop, declared here, plus the signature afl-fuzz looks for.
extern "C" int __afl_persistent_loop(unsigned int);
[[gnu::used]] static volatile const char* const kAflPersistentSignature = "##SIG_AFL_PERSISTENT##";
#endif

namespace sorvik::fuzz {

inline std::string ReadStdin() {
    std::string input;
    char chunk[65536];
    for (ssize_t n; (n = ::read(0, chunk, sizeof chunk)) > 0;)
        input.append(chunk, static_cast<size_t>(n));
    return input;
}

// one: the target's work on one input; it must end and must not leak between inputs.
template <typename One>
int FuzzMain(int argc, char** argv, One one) {
#ifdef __AFL_LOOP
    (void)argc;
    (void)argv;
    while (__afl_persistent_loop(1000))
        one(std::string_view(ReadStdin()));
#else
    if (argc < 2) {
        one(std::string_view(ReadStdin()));
        return 0;
    }
    for (int i = 1; i < argc; ++i) {
        std::ifstream file(argv[i], std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
        const std::string input((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        one(std::string_view(input));
    }
#endif
    return 0;
}

}  // namespace sorvik::fuzz
