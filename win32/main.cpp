#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    MessageBoxW(nullptr, L"brimlet", L"Brimlet", MB_OK);
    return 0;
}
