#include "common/SafePath.h"

#include <gtest/gtest.h>

namespace lg {
namespace {

const char* const kRefused[] = {
    "",
    "..\\launcher.exe",
    "data\\..\\..\\x.dll",
    "data/../x",
    "./a",
    "\\Windows\\system32\\x.dll",
    "/etc/passwd",
    "C:\\x.dll",
    "C:x.dll",
    "\\\\server\\share\\x",
    "\\\\?\\C:\\x",
    "\\\\.\\PhysicalDrive0",
    "data\\a.dat:stream",
    "CON",
    "con.txt",
    "data\\NUL",
    "data\\aux.dat",
    "COM1",
    "lpt9.log",
    "CONIN$",
    "conout$.x",
    "PRN ",
    "data\\a.",
    "data\\a ",
    "data\\\\b",
    "data\\",
    "a\tb",
    "a\nb",
    "what?",
    "a*b",
    "a|b",
    "a<b",
    "a\"b",
    // A lead byte before a byte that cannot be a trail byte does not hide it.
    "\x81:stream",
    "data\\\xB5:x",
    "\x81/..\\x",
    "\x81//x",
    "\x81\x01",
    "\xD6?",
};

const char* const kAccepted[] = {
    "launcher.exe",
    "data\\ui\\a.dat",
    "data/ui/a.dat",
    "Vantrel.dll",
    "COM10",
    "console.txt",
    "LPT.txt",
    ".hidden",
    "a..b",
    "data\\\xB5\x5C.dat",  // a GBK character with trail byte 0x5C
    "\xD6\xD0\xCE\xC4\\\xCE\xC4.txt",
    "a b\\c d.txt",
    "\xD6\x7C.txt",  // 0x7C is a trail byte here, not '|'
    "\x81/x",        // a lone invalid byte, then a separator
};

TEST(SafePath, RefusesNamesThatLeaveTheFolderOrNameDevices) {
  for (const char* name : kRefused) {
    std::string reason;
    EXPECT_FALSE(IsSafeRelativePath(name, &reason)) << '"' << name << '"';
    EXPECT_FALSE(reason.empty()) << name;
  }
}

TEST(SafePath, AcceptsOrdinaryGameFileNames) {
  for (const char* name : kAccepted) {
    std::string reason;
    EXPECT_TRUE(IsSafeRelativePath(name, &reason)) << name << ": " << reason;
  }
}

TEST(SafePath, BackslashFormKeepsGbkTrailBytes) {
  EXPECT_EQ(WithBackslashes("data/ui/a.dat"), "data\\ui\\a.dat");
  EXPECT_EQ(WithBackslashes("\x81/x"), "\x81/x") << "0x2F after a lead byte is a trail byte";
}

}  // namespace
}  // namespace lg
