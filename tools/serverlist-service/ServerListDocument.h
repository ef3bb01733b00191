// Checks an operator's server list (UTF-8 JSON) the way the launcher will
// read it and turns it into the GBK payload of a command-129 frame. Pure
// functions; any thread.
#pragma once

#include <string>
#include <string_view>

namespace lg {

// True with `gbk` set when the text is a JSON object whose "server" member
// (any letter case) is an array of objects whose known keys have the kinds
// the launcher expects, every character has a GBK code, and the GBK text
// fits one frame (65535 bytes). Otherwise false with `error` naming the
// problem ("server[3].port is a string, expected a number").
bool PrepareServerList(std::string_view utf8, std::string& gbk, std::string& error);

}  // namespace lg
