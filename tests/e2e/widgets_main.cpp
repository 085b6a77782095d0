// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The main of the end-to-end tests that run the station's window in the test process.

#include <QApplication>

#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
// Some of these tests bound the station's resident memory, and the station runs in this process.
// The address sanitizer keeps freed memory in a quarantine of up to 256 MiB, which a flood of
// replies fills with what the station has long let go: a small one keeps the figure the
// station's own. Options given in ASAN_OPTIONS still apply on top.
extern "C" const char* __asan_default_options()
{
    return "quarantine_size_mb=2";
}
#endif

int main(int argc, char** argv)
{
    // ctest lists the cases by running this binary without the test's environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
