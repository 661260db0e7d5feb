#include <cstdio>

int main(int, char**)
{
    std::puts("Usage: patchwise [dump|update] ...");
    return 0;
}
