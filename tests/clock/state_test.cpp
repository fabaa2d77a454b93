// The settings file and the layout file: their bytes, their reading, their safe writing.
#include <sys/resource.h>
#include <sys/stat.h>

#include <unistd.h>

#include <csignal>
#include <string>

#include "clock/clocktest.h"

using Settings = ClockTest;

/* where a save of this process writes before the rename */
static std::string temp()
{
    return "Horatik.dat." + std::to_string(getpid()) + ".tmp";
}

TEST_F(Settings, EveryKindOfSaveWritesTheSeventeenBytes)
{
    tickat(at(8, 0, 0));
    EXPECT_TRUE(file().empty());  // nothing is written until the user acts

    press(kselect);  // stop
    tick();
    EXPECT_EQ(file(), settings(86400000, 1, 0, 0, 0));
    press(kselect);  // start
    tick();
    press(kstick);  // help off
    tick();
    EXPECT_EQ(file(), settings(86400000, 0, 0, 0, 0));
    press(kleft);  // and on again by stick left
    tick();
    EXPECT_EQ(file()[4], 1);

    press(ky);  // alarm setting: no save
    tick();
    press(kb);
    tick();
    press(kr);
    tick();
    EXPECT_EQ(file(), settings(86400000, 1, 0, 0, 0));
    press(ky);  // armed: saved with the alarm time
    tick();
    EXPECT_EQ(file(), settings(86400000, 1, 1, 1, 2));
    press(kx);  // read-out off: digi is not stored, the file is written all the same
    tick();
    EXPECT_EQ(file(), settings(86400000, 1, 1, 1, 2));
    press(ky);  // off
    tick();
    EXPECT_EQ(file(), settings(86400000, 1, 1, 1, 0));

    // a save during an alarm setting ends it, and 1 never reaches the file
    press(ky);
    tick();
    ASSERT_EQ(wecken, 1);
    press(kx);
    tick();
    EXPECT_EQ(wecken, 0);
    EXPECT_EQ(file()[13], 0);
    EXPECT_FALSE(access(temp().c_str(), F_OK) == 0);  // no temporary file is left
}

TEST_F(Settings, FileIsReadBackFieldByField)
{
    writefile("Horatik.dat", "");
    std::vector<unsigned char> v = settings(-3600, 0, 7, 30, 2);
    FILE* f = std::fopen("Horatik.dat", "wb");
    std::fwrite(v.data(), 1, v.size(), f);
    std::fclose(f);
    openuhr();
    EXPECT_EQ(zeitdazu, -3600);
    EXPECT_EQ(hilfe, 0);
    EXPECT_EQ(weckzeit[0], 7);
    EXPECT_EQ(weckzeit[1], 30);
    EXPECT_EQ(wecken, 2);

    // a written file reads back to the same bytes
    unsigned char out[settingssize];
    packsettings(out);
    EXPECT_EQ(std::vector<unsigned char>(out, out + settingssize), v);

    // a short file: fields wholly beyond its end keep their values
    resetclock();
    unpacksettings(v.data(), 9);
    EXPECT_EQ(zeitdazu, -3600);
    EXPECT_EQ(weckzeit[0], 7);
    EXPECT_EQ(weckzeit[1], 0);
    EXPECT_EQ(wecken, 0);
    unpacksettings(v.data(), 0);  // nothing at all
    EXPECT_EQ(zeitdazu, -3600);
}

TEST_F(Settings, LayoutFileCases)
{
    auto load = [&](const std::string& settingsbytes, const char* layout) {
        resetclock();
        unlink("Horatik.dat");
        unlink("config.conf");
        if (!settingsbytes.empty())
            writefile("Horatik.dat", settingsbytes);
        if (layout)
            writefile("config.conf", layout);
        openuhr();
    };
    const std::string some(17, '\0');

    // colours in the order blue, green, red; only the low 8 bits count
    load(some, "150;110;11;21;22;71;91;92;100;130;255;0;0;0;256;0;0;0;255;");
    EXPECT_EQ(zeigerx, 150);
    EXPECT_EQ(zeigery, 110);
    EXPECT_EQ(hourradius, 11);
    EXPECT_EQ(secradius2, 92);
    EXPECT_EQ(analogx, 100);
    EXPECT_EQ(analogy, 130);
    EXPECT_EQ(hourc, 0x001F);  // blue
    EXPECT_EQ(minc, 0x0000);   // 256 -> 0
    EXPECT_EQ(secc, 0xF800);   // the third number is red

    // only the ten geometry numbers: start geometry, three black hands
    load(some, "160;120;10;20;20;70;90;90;119;138;");
    EXPECT_EQ(zeigerx, 160);
    EXPECT_EQ(minradius2, 90);
    EXPECT_EQ(hourc, 0);
    EXPECT_EQ(secc, 0);

    // without a settings file the layout is not read at all
    load("", "1;2;3;4;5;6;7;8;9;10;255;255;255;255;255;255;255;255;255;");
    EXPECT_EQ(zeigerx, 160);
    EXPECT_EQ(hourc, 0);

    // without a layout file: start geometry, black hands
    load(some, nullptr);
    EXPECT_EQ(zeigery, 120);
    EXPECT_EQ(secc, 0);

    // the end of the file closes the last number; the rest come out as 0
    load(some, "200;100;5");
    EXPECT_EQ(zeigerx, 200);
    EXPECT_EQ(zeigery, 100);
    EXPECT_EQ(hourradius, 5);
    EXPECT_EQ(minradius, 0);

    // an empty file counts as none
    load(some, "");
    EXPECT_EQ(zeigerx, 160);
    EXPECT_EQ(hourradius2, 70);

    // every byte but ";" counts as a digit; too many digits wrap, never trap
    load(some, "1a;99999999999999999999999999999;\n5;");
    EXPECT_EQ(zeigerx, 1 * 10 + ('a' - 48));
    EXPECT_EQ(zeigery, -1610612737);  // 10^29 - 1 modulo 2^32
    EXPECT_EQ(hourradius, -38 * 10 + 5);
}

TEST_F(Settings, WindowAndItsButtons)
{
    tbutton* back = getbuttonpointer(uhrwindow, "back");
    tbutton* digibox = getbuttonpointer(uhrwindow, "xxxx");
    tbutton* stehtbox = getbuttonpointer(uhrwindow, "xxx2");
    ASSERT_TRUE(back && digibox && stehtbox);
    EXPECT_EQ(uhrwindow->style, 18);
    EXPECT_EQ(uhrwindow->w, 319);
    EXPECT_EQ(back->keymask, 256u);
    EXPECT_EQ(back->style, 4);
    EXPECT_STREQ(digibox->text, " ");
    EXPECT_EQ(digibox->x, 119);
    EXPECT_EQ(stehtbox->x, 270);
    EXPECT_EQ(stehtbox->w, 45);

    keys[kstart] = 1;
    uhrendeclick();
    EXPECT_EQ(uhrwindow->quit, 1);
    EXPECT_EQ(keys[kstart], 0);

    // the read-out box follows the layout read before the window is made
    deluhrwindow();
    analogx = 40;
    setuhrwindow();
    EXPECT_EQ(getbuttonpointer(uhrwindow, "xxxx")->x, 40);
}

TEST_F(Settings, SaveThatCannotBeDoneKeepsTheOldFile)
{
    std::vector<unsigned char> old = settings(123, 1, 6, 45, 2);
    FILE* f = std::fopen("Horatik.dat", "wb");
    std::fwrite(old.data(), 1, old.size(), f);
    std::fclose(f);

    openuhr();
    zeitdazu = 999;
    // the temporary file cannot be made
    ASSERT_EQ(mkdir(temp().c_str(), 0755), 0);
    saveuhr();
    EXPECT_EQ(file(), old);
    rmdir(temp().c_str());

    // a full disk: writes that grow a file fail
    struct rlimit keep, none = {0, 0};
    getrlimit(RLIMIT_FSIZE, &keep);
    none.rlim_max = keep.rlim_max;
    auto oldsig = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &none);
    saveuhr();
    setrlimit(RLIMIT_FSIZE, &keep);
    std::signal(SIGXFSZ, oldsig);
    EXPECT_EQ(file(), old);
    EXPECT_NE(access(temp().c_str(), F_OK), 0);

    // and when it can, the new bytes replace the old
    saveuhr();
    EXPECT_EQ(file(), settings(999, 1, 6, 45, 2));
}
