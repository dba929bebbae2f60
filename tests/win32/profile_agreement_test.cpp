// The configuration reader on Windows reads through the system's GetPrivateProfileIntA. The
// portable reader used elsewhere must give the same integers for the same files: both are
// asked every key of a set of files, with a fallback that no file holds.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "config/ini_reader.h"
#include "test_files.h"

namespace vx {

namespace {

struct Case {
  const char* text;
  const char* queries;  // "section/key" separated by "|"
};

const Case kCases[] = {
    {"[Delay]\nLOAD_VI_SETTLE=250\nCB_V_SETTLE = 5 \n",
     "Delay/LOAD_VI_SETTLE|delay/load_vi_settle|Delay/CB_V_SETTLE|Delay/Missing|Other/X"},
    {"[D800]\nDVMAC=68\nPlatform=0x8030\nNeg=-12\nPlus=+7\n[800_1_02]\nDVMAC=70\n",
     "D800/DVMAC|800_1_02/DVMAC|D800/Platform|D800/Neg|D800/Plus"},
    {"[S]\nTrailing=200 ; settle\nFraction=12.9\nWord=abc\nHexUpper=0X1234a\nEmpty=\n",
     "S/Trailing|S/Fraction|S/Word|S/HexUpper|S/Empty"},
    {"[S]\nBig=2147483647\nWrap=2147483648\nHuge=4294967296\nLow=-2147483648\n",
     "S/Big|S/Wrap|S/Huge|S/Low"},
    {"[S]\nK=1\n[S]\nK=2\nJ=3\n", "S/K"},  // the first section of a name is the one read
    {"[N]\nBin=0b101\nOct=0o17\nUpperX=0X10\nBare=0x\nNegHex=-0x10\nSpaced=- 5\nLead=007\n"
     "Quoted=\"12\"\nSingle='5'\nHexCase=0xaBcD\nMixed=\"7'\nOne=\"\n",
     "N/Bin|N/Oct|N/UpperX|N/Bare|N/NegHex|N/Spaced|N/Lead|N/Quoted|N/Single|N/HexCase|N/Mixed|"
     "N/One"},
    {"\r\n[P8030]\r\nDF_ERASEROW=10\r\n  DF_PROGROW  =  2\r\n",
     "P8030/DF_ERASEROW|P8030/DF_PROGROW|p8030/df_progrow"},
    // Blanks around the names asked for, as a target info with a trailing blank makes them.
    {"[v1_2 ]\nA=1\n[ v1_3]\nB=2\n[W]\n K =3\n",
     "v1_2 /A|v1_2/A| v1_2  /A|v1_3/B|\tv1_3\t/B|W/ K |W/K\t"},
};

}  // namespace

TEST(ProfileAgreement, SystemAndPortableReadersGiveTheSameIntegers) {
  testing::TempDir dir;
  int compared = 0;
  for (const Case& c : kCases) {
    const std::string path = dir.Write("agree.ini", c.text);
    std::stringstream queries(c.queries);
    for (std::string q; std::getline(queries, q, '|');) {
      const std::string section = q.substr(0, q.find('/')), key = q.substr(q.find('/') + 1);
      const std::int32_t system = ReadProfileInt(section, key, -777, path);
      const std::int32_t portable = GetPrivateProfileInt(section, key, -777, path);
      EXPECT_EQ(system, portable) << "[" << section << "] " << key << " in:\n" << c.text;
      ++compared;
    }
  }
  EXPECT_EQ(compared, 42);
}

TEST(ProfileAgreement, MissingFileGivesTheFallbackToBoth) {
  testing::TempDir dir;
  const std::string path = dir.path() + "\\none.ini";
  EXPECT_EQ(ReadProfileInt("S", "K", 41, path), 41);
  EXPECT_EQ(GetPrivateProfileInt("S", "K", 41, path), 41);
}

}  // namespace vx
