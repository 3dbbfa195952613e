#include <cstdio>
#include <cstring>

namespace {

void printUsage(std::FILE* to)
{
    std::fputs("usage: hintboard [--help]\n", to);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        printUsage(stdout);
        return 0;
    }
    printUsage(stderr);
    return 2;
}
