/* The smallest GUI program with the resources of a setup stub: the builder's PE tests rebuild
   its resource section. */
#include <windows.h>

int WINAPI wWinMain(HINSTANCE Instance, HINSTANCE Previous, PWSTR CommandLine, int Show) {
    (void)Instance;
    (void)Previous;
    (void)CommandLine;
    (void)Show;
    return 0;
}
