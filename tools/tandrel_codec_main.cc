// tandrel-codec encode|decode [--call|--envelope]
#include <iostream>
#include <string_view>

#include "tools/tandrel_codec.h"

namespace {

int usage() {
  std::cerr << "usage: tandrel-codec encode|decode [--call|--envelope]\n"
               "  encode: one JSON value per line in, standard-codec bytes as hex out\n"
               "  decode: hex per line in (whitespace allowed), JSON out\n"
               "  --call: method calls {\"method\": ..., \"args\": ...}\n"
               "  --envelope: replies {\"success\": v} / {\"error\": {...}} / "
               "{\"notImplemented\": true}\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) return usage();
  const std::string_view command = argv[1];
  codectool::Direction direction;
  if (command == "encode") {
    direction = codectool::Direction::kEncode;
  } else if (command == "decode") {
    direction = codectool::Direction::kDecode;
  } else {
    return usage();
  }
  codectool::Form form = codectool::Form::kValue;
  if (argc == 3) {
    const std::string_view option = argv[2];
    if (option == "--call") {
      form = codectool::Form::kCall;
    } else if (option == "--envelope") {
      form = codectool::Form::kEnvelope;
    } else {
      return usage();
    }
  }
  std::ios::sync_with_stdio(false);
  return codectool::run(direction, form, std::cin, std::cout);
}
