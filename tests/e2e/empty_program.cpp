// A Windows program that does nothing: what wine's start-up and shut-down
// cost on their own, for the benchmark to subtract.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return 0;
}
