#include "batchmode.h"

#include <cstring>
#include <iostream>

bool wantsBatch(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (!std::strcmp(argv[i], "--batch") || !std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "--version"))
            return true;
    return false;
}

// Placeholder until the output run exists.
int runBatch(int, char**) {
    std::cerr << "batch mode is not available yet" << std::endl;
    return 2;
}
