// The shared library as a host loads it: the sixteen plain names and nothing else of ours.

#include <dlfcn.h>

#include <gtest/gtest.h>

TEST(Exports, PlainNamesResolveAndInternalsStayHidden)
{
    void* library = dlopen(VRD_BIN_DIR "/libGauge64.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_TRUE(library) << dlerror();
    for (const char* name : {"DLLInitial", "DLLRelease", "Vcore", "Vio", "P5V", "P12V", "N12V", "N5V", "Fan1",
                             "Fan2", "SysTemp", "CpuTemp", "P5VAmp", "P12VAmp", "PVbat", "PMemRead"})
        EXPECT_TRUE(dlsym(library, name)) << name;
    EXPECT_FALSE(dlsym(library, "_ZN5gauge6PortInEj"));
    EXPECT_FALSE(dlsym(library, "_ZN5gauge8ReadZeroEv"));
    auto release = reinterpret_cast<int32_t (*)()>(dlsym(library, "DLLRelease"));
    ASSERT_TRUE(release);
    EXPECT_EQ(release(), 1);
    dlclose(library);
}
