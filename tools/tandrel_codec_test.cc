#include "tools/tandrel_codec.h"

#include <gtest/gtest.h>

#include <sstream>

namespace codectool {
namespace {

struct Outcome {
  int status;
  std::string out;
};

Outcome run(Direction d, Form f, const std::string& input) {
  std::istringstream in(input);
  std::ostringstream out;
  const int status = codectool::run(d, f, in, out);
  return {status, out.str()};
}

TEST(CodecTool, EncodesOneLinePerValueAndGoesOnAfterErrors) {
  const Outcome r = run(Direction::kEncode, Form::kValue,
                        "[null, \"hello\", 3.14, 47, [42, \"nested\"]]\n"
                        "\n"
                        "{not json\n"
                        "{\"$int32s\": [305419896, -1, 0]}\r\n"
                        "{\"$weird\": 1}\n");
  EXPECT_EQ(r.status, 1);
  std::istringstream lines(r.out);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line,
            "0c0500070568656c6c6f0600000000001f85eb51b81e0940032f0000000c02032a00000007066e65737465"
            "64");
  std::getline(lines, line);
  EXPECT_EQ(line.rfind("{\"encodeError\":\"bad JSON", 0), 0u) << line;
  std::getline(lines, line);
  EXPECT_EQ(line, "0903000078563412ffffffff00000000");
  std::getline(lines, line);
  EXPECT_EQ(line, R"({"encodeError":"unknown tag \"$weird\""})");
  EXPECT_FALSE(std::getline(lines, line));
}

TEST(CodecTool, DecodesHexWithSpaces) {
  const Outcome ok = run(Direction::kDecode, Form::kValue, "0c 02 03 2a000000 07 01 61\n00\n\n");
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(ok.out, "[42,\"a\"]\nnull\nnull\n");
  const Outcome bad = run(Direction::kDecode, Form::kValue, "07 05 6162\nzz\n0\n01\n");
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.out,
            "{\"decodeError\":\"not a valid standard-codec message\"}\n"
            "{\"decodeError\":\"not a hex digit: \\\"z\\\"\"}\n"
            "{\"decodeError\":\"odd number of hex digits\"}\n"
            "true\n");
}

TEST(CodecTool, CallsAndEnvelopesBothWays) {
  EXPECT_EQ(run(Direction::kEncode, Form::kCall, "{\"method\": \"listen\"}\n").out,
            "07066c697374656e00\n");
  EXPECT_EQ(run(Direction::kDecode, Form::kCall, "07066c697374656e00\n").out,
            "{\"method\":\"listen\",\"args\":null}\n");
  EXPECT_EQ(
      run(Direction::kEncode, Form::kEnvelope, "{\"success\": 1.0}\n{\"notImplemented\": true}\n")
          .out,
      "0006000000000000000000000000f03f\n\n");
  const Outcome r =
      run(Direction::kDecode, Form::kEnvelope, "\n01 07 09 6572726f72436f6465 00 00\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "{\"notImplemented\":true}\n"
            "{\"error\":{\"code\":\"errorCode\",\"message\":null,\"details\":null}}\n");
}

}  // namespace
}  // namespace codectool
