// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// Where the agent and the station keep their files: the service's state directory first, the
// XDG directories (the local application data on Windows) when the program runs from where it was
// installed, else the old places.

#include "file_places.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(FilePlacesTest, TheFirstRuleThatAppliesNamesTheDirectories)
{
    QTemporaryDir root;
    const QString bin = root.filePath("usr/bin");
    const QString build = root.filePath("build/bin");
    ASSERT_TRUE(QDir().mkpath(bin) && QDir().mkpath(build));
    // A program started through a symbolic link to its directory still runs installed.
    ASSERT_TRUE(QFile::link(bin, root.filePath("linked-bin")));
    const QString config = "/home/u/.config";
    const QString data = "/home/u/.local/share";

    struct Case {
        const char* what;
        QString programDirectory;
        QString installedDirectory;
        QString stateDirectory;
        QString fallback;
        FilePlaces expected;
    };
    const Case cases[] = {
        {"installed: XDG directories", bin, bin, "", "", {config + "/varden/VrdClient", data + "/varden/VrdClient"}},
        {"installed, reached through a link", root.filePath("linked-bin"), bin, "", "",
         {config + "/varden/VrdClient", data + "/varden/VrdClient"}},
        {"installed path with a trailing slash", bin, bin + "/", "", "",
         {config + "/varden/VrdClient", data + "/varden/VrdClient"}},
        {"service: the state directory wins", bin, bin, "/var/lib/varden", "",
         {"/var/lib/varden", "/var/lib/varden"}},
        {"service started from a build tree", build, bin, "/var/lib/varden", build,
         {"/var/lib/varden", "/var/lib/varden"}},
        {"build tree, agent: working directory", build, bin, "", "", {"", ""}},
        {"build tree, station: program directory", build, bin, "", build, {build, build}},
        {"no installed directory known", bin, "", "", build, {build, build}},
        {"a folder below the installed directory is not it", root.filePath("usr/bin/sub"), bin, "", build,
         {build, build}},
    };
    for (const Case& c : cases) {
        const PlaceInputs inputs{c.programDirectory, c.installedDirectory, c.stateDirectory, config, data};
        const FilePlaces places = filePlaces(QStringLiteral("VrdClient"), c.fallback, inputs);
        EXPECT_EQ(places.settingsDirectory, c.expected.settingsDirectory) << c.what;
        EXPECT_EQ(places.dataDirectory, c.expected.dataDirectory) << c.what;
    }
}

// Windows: installed means a folder of its own below Program Files, whatever the letter case of
// the path it was started by; settings and databases then share the local application data.
TEST(FilePlacesTest, BelowProgramFilesTheLocalApplicationDataHoldsEverything)
{
    const QString programFiles = "C:/Program Files";
    const QString local = "C:/Users/u/AppData/Local";
    const QString working = "C:/Users/u/Desktop";
    struct Case {
        const char* what;
        QString programDirectory;
        QString expected;
    };
    const Case cases[] = {
        {"installed", "C:/Program Files/Varden", local + "/Varden/VrdBrowser"},
        {"started by a path in other letter case", "c:/PROGRAM FILES/varden", local + "/Varden/VrdBrowser"},
        {"deeper below", "C:/Program Files/Tools/Varden", local + "/Varden/VrdBrowser"},
        {"Program Files itself", "C:/Program Files", working},
        {"a folder whose name only begins the same", "C:/Program Files Old/Varden", working},
        {"a copy elsewhere", "D:/Varden", working},
    };
    for (const Case& c : cases) {
        PlaceInputs inputs{c.programDirectory, programFiles, "", local, local};
        inputs.installedBelow = true;
        inputs.vendorDirectory = "Varden";
        const FilePlaces places = filePlaces(QStringLiteral("VrdBrowser"), working, inputs);
        EXPECT_EQ(places.settingsDirectory, c.expected) << c.what;
        EXPECT_EQ(places.dataDirectory, c.expected) << c.what;
    }
}

// vrdctl reads the working directory's VRD.INI first; installed, then the station's own.
TEST(FilePlacesTest, ToolsLookForTheStationsSettingsWhenInstalled)
{
    const QString bin = QDir::tempPath();
    const QString config = "/home/u/.config";
    const struct {
        const char* what;
        PlaceInputs inputs;
        QStringList files;
    } cases[] = {
        {"installed", {bin, bin, "", config, ""}, {"VRD.INI", config + "/varden/VrdBrowser/VRD.INI"}},
        {"installed, under a service", {bin, bin, "/var/lib/varden", config, ""},
         {"VRD.INI", config + "/varden/VrdBrowser/VRD.INI"}},
        {"build tree", {"/src/build/bin", bin, "", config, ""}, {"VRD.INI"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(stationSettingsFiles(c.inputs), c.files) << c.what;
}

TEST(FilePlacesTest, TheSettingsFileOfTheWorkingDirectoryIsItsBareName)
{
    EXPECT_EQ(FilePlaces{}.settingsFile("VRD.INI"), QString("VRD.INI"));
    EXPECT_EQ((FilePlaces{"/etc/x", "/var/x"}.settingsFile("VRD.INI")), QString("/etc/x/VRD.INI"));
}

TEST(FilePlacesTest, CreatesMissingDirectoriesPrivateAndReportsFailure)
{
    QTemporaryDir home;
    const FilePlaces places{home.filePath(".config/varden/VrdBrowser"),
                            home.filePath(".local/share/varden/VrdBrowser")};
    ASSERT_TRUE(createPlaces(places));
    for (const QString& dir : {places.settingsDirectory, places.dataDirectory}) {
        EXPECT_TRUE(QFileInfo(dir).isDir()) << dir.toStdString();
        EXPECT_EQ(QFileInfo(dir).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::ExeOther), 0)
            << dir.toStdString();
    }
    EXPECT_TRUE(createPlaces(places)) << "existing directories are fine";
    EXPECT_TRUE(createPlaces(FilePlaces{})) << "the working directory needs nothing";

    QFile blocker(home.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    EXPECT_FALSE(createPlaces(FilePlaces{home.filePath("file/sub"), home.filePath("file/sub")}));
}

} // namespace
