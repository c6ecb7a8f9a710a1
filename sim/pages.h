#pragma once

// The stand-in's pages, in UTF-8. The message page carries, around and between its message
// blocks, the kind of markup a real page has (scripts, other dl and dd elements, attributes with
// Chinese text, line breaks inside blocks), so a reader that does not keep to the block and field
// markers goes wrong on it.

#include <string>
#include <vector>

#include "sim/sim_server.h"

namespace lumirack::sim {

// Escapes &, <, >, " and ' for text and double-quoted attribute values.
std::string HtmlEscape(const std::string& text);

// `error` (UTF-8, may be empty) is shown above the form.
std::string LoginPage(const std::string& sUrl, const std::string& quickUin,
                      const std::string& error);
std::string HomePage(const std::string& uin);

// One `<dl class="msg_list" ...>...</dl>` block.
std::string MessageBlock(const Message& message);
// The system-message page, messages newest first.
std::string MessagePage(const std::vector<Message>& messages, const std::string& uin);
// What the service shows when the login has expired: no message block at all.
std::string ExpiredLoginPage();

}  // namespace lumirack::sim
