#include <iostream>

#include "batch/batch.h"

int main(int argc, char** argv) {
    BatchOptions options;
    int code = parsebatch(argc, argv, options, std::cout, std::cerr);
    if (code >= 0) return code;
    return runbatch(options, std::cout, std::cerr);
}
