#include <objbase.h>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // The shell's open operation expects COM, as in the program.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
