#include "package/line_reader.h"

#include <gtest/gtest.h>

#include <vector>

#include "package_fixture.h"

namespace stowkit {
namespace {

using namespace stowkit::testing;

class LineReaderTest : public PackageTest {
 protected:
  std::vector<std::u16string> Forward(const std::string& bytes) {
    MappedLineReader reader;
    EXPECT_GE(reader.Open(Put(bytes, "lines.txt")), 0);
    std::vector<std::u16string> lines;
    std::u16string line;
    while (reader.NextLine(line)) lines.push_back(line);
    EXPECT_FALSE(reader.NextLine(line));
    return lines;
  }
  std::vector<std::u16string> Backward(const std::string& bytes) {
    ReverseMappedLineReader reader;
    EXPECT_GE(reader.Open(Put(bytes, "lines.txt")), 0);
    std::vector<std::u16string> lines;
    std::u16string line;
    while (reader.PreviousLine(line)) lines.push_back(line);
    EXPECT_FALSE(reader.PreviousLine(line));
    return lines;
  }
  using Lines = std::vector<std::u16string>;
};

TEST_F(LineReaderTest, CrLfLines) {
  EXPECT_EQ(Forward("A\r\nB\r\n"), (Lines{u"A", u"B"}));
  EXPECT_EQ(Backward("A\r\nB\r\n"), (Lines{u"", u"B", u"A"}));
}

TEST_F(LineReaderTest, NoFinalLineFeed) {
  EXPECT_EQ(Forward("A\nB"), (Lines{u"A", u"B"}));
  EXPECT_EQ(Backward("A\nB"), (Lines{u"B", u"A"}));
}

TEST_F(LineReaderTest, EmptyLinesAndBlanksAreKeptInPlaceAndTrimmed) {
  EXPECT_EQ(Forward("\n  x \t\n\n y"), (Lines{u"", u"x", u"", u"y"}));
  EXPECT_EQ(Backward("\n  x \t\n\n y"), (Lines{u"y", u"", u"x", u""}));
  EXPECT_EQ(Forward("\n"), (Lines{u""}));
  EXPECT_EQ(Backward("\n"), (Lines{u"", u""}));
}

TEST_F(LineReaderTest, BytesBecomeWideCharactersOfTheSameValue) {
  EXPECT_EQ(Forward("caf\xe9"), (Lines{u"caf\u00e9"}));
  EXPECT_EQ(Backward("\xff\x80"), (Lines{u"\u00ff\u0080"}));
}

TEST_F(LineReaderTest, EmptyAndMissingFiles) {
  MappedLineReader forward;
  EXPECT_EQ(forward.Open(Put("", "empty.txt")), S_FALSE);
  std::u16string line = u"stale";
  EXPECT_FALSE(forward.NextLine(line));
  EXPECT_EQ(line, u"");
  ReverseMappedLineReader backward;
  EXPECT_EQ(backward.Open(u"\\Temp\\empty.txt"), S_FALSE);
  EXPECT_FALSE(backward.PreviousLine(line));
  EXPECT_EQ(backward.Open(u"\\Temp\\none.txt"), HRESULT(0x80070002));
  EXPECT_FALSE(backward.PreviousLine(line));
  backward.Close();
  backward.Close();
}

TEST_F(LineReaderTest, AnOpenReaderKeepsTheFileInUse) {
  MappedLineReader reader;
  ASSERT_EQ(reader.Open(Put("x\ny", "held.txt")), S_OK);
  EXPECT_FALSE(DeleteFileW(u"\\Temp\\held.txt"));
  reader.Close();
  EXPECT_TRUE(DeleteFileW(u"\\Temp\\held.txt"));
}

}  // namespace
}  // namespace stowkit
