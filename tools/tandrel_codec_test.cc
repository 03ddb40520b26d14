#include "tools/tandrel_codec.h"

#include <gtest/gtest.h>

#include <sstream>

namespace codectool {
namespace {

// One input per line, each answered by one line, and an error does not stop the run.
TEST(CodecTool, EachLineIsAnsweredAndErrorsSetTheStatus) {
  const struct {
    Direction direction;
    Form form;
    const char* input;
    int status;
    const char* output;
  } cases[] = {
      {Direction::kEncode, Form::kValue,
       "[null, \"hello\", 3.14, 47, [42, \"nested\"]]\n\n{not json\n"
       "{\"$int32s\": [305419896, -1, 0]}\r\n{\"$weird\": 1}\n",
       1,
       "0c0500070568656c6c6f0600000000001f85eb51b81e0940032f0000000c02032a00000007066e6573746564\n"
       "{\"encodeError\":\"bad JSON\n"
       "0903000078563412ffffffff00000000\n"
       "{\"encodeError\":\"unknown tag \\\"$weird\\\"\"}\n"},
      {Direction::kDecode, Form::kValue, "0c 02 03 2a000000 07 01 61\n00\n\n", 0,
       "[42,\"a\"]\nnull\nnull\n"},
      {Direction::kDecode, Form::kValue, "07 05 6162\nzz\n0\n01\n", 1,
       "{\"decodeError\":\"not a valid standard-codec message\"}\n"
       "{\"decodeError\":\"not a hex digit: \\\"z\\\"\"}\n"
       "{\"decodeError\":\"odd number of hex digits\"}\n"
       "true\n"},
      {Direction::kEncode, Form::kCall,
       "{\"method\": \"listen\"}\n{\"method\": \"select\", \"args\": {\"lang\": \"ru\"}}\n"
       "{\"method\": 1}\n{\"method\": \"x\", \"arg\": 1}\n",
       1,
       "07066c697374656e00\n070673656c6563740d0107046c616e6707027275\n"
       "{\"encodeError\":\"a call needs \\\"method\\\" as a string\"}\n"
       "{\"encodeError\":\"unknown key in a call: \\\"arg\\\"\"}\n"},
      {Direction::kDecode, Form::kCall,
       "07066c697374656e00\n070673656c6563740d0107046c616e6707027275\n", 0,
       "{\"method\":\"listen\",\"args\":null}\n{\"method\":\"select\",\"args\":{\"lang\":\"ru\"}}"
       "\n"},
      {Direction::kEncode, Form::kEnvelope,
       "{\"success\": 1.0}\n{\"notImplemented\": true}\n"
       "{\"error\": {\"code\": \"bad_lang\", \"message\": null, \"details\": [1]}}\n"
       "{\"error\": {\"message\": \"m\"}}\n{\"success\": 1, \"extra\": 2}\n",
       1,
       "0006000000000000000000000000f03f\n\n0107086261645f6c616e67000c010301000000\n"
       "{\"encodeError\":\"\\\"error\\\" needs a \\\"code\\\"\"}\n"
       "{\"encodeError\":\"an envelope is {\\\"success\\\": ...}, {\\\"error\\\": {...}} or "
       "{\\\"notImplemented\\\": true}\"}\n"},
      {Direction::kDecode, Form::kEnvelope,
       "\n01 07 09 6572726f72436f6465 00 00\n0107086261645f6c616e67000c010301000000\n02\n"
       "0006000000000000000000000000f03f\n",
       1,
       "{\"notImplemented\":true}\n"
       "{\"error\":{\"code\":\"errorCode\",\"message\":null,\"details\":null}}\n"
       "{\"error\":{\"code\":\"bad_lang\",\"message\":null,\"details\":[1]}}\n"
       "{\"decodeError\":\"not a reply envelope\"}\n{\"success\":1.0}\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    std::istringstream in(c.input);
    std::ostringstream out;
    EXPECT_EQ(run(c.direction, c.form, in, out), c.status);
    // The JSON parser's own words after "bad JSON" are not this tool's.
    std::string got = out.str();
    if (size_t at = got.find("bad JSON"); at != std::string::npos) {
      got.erase(at + 8, got.find('\n', at) - at - 8);
    }
    EXPECT_EQ(got, c.output);
  }
}

}  // namespace
}  // namespace codectool
