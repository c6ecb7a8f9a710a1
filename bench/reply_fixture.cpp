#include "reply_fixture.h"

#include <array>
#include <string_view>

namespace lumirack::bench {
namespace {

constexpr std::array<std::string_view, 6> kAnswers = {
    "你好，我是新来的，请通过",     "朋友介绍来的",  "问题：暗号是什么？<br>答案：芝麻开门",
    "想加入学习交流，谢谢管理员！", "hello from QQ", "看到群公告，申请加入本群一起讨论",
};

std::string Block(unsigned i) {
  const std::string seq = std::to_string(1600000000u + i * 7u);
  const std::string uin = std::to_string(100000u + (i * 7919u) % 900000u);
  const std::string group = std::to_string(200000u + (i % 13u));
  const std::string_view answer = kAnswers[i % kAnswers.size()];
  std::string b = "<dl class=\"msg_list\" unread=\"";
  b += (i % 3 == 0) ? "0" : "1";
  b += "\">\n  <dt class=\"msg_head\"><span class=\"msg_kind\">加群申请</span>"
       "<span class=\"msg_time\">今天 12:3" +
       std::to_string(i % 10) + "</span></dt>\n";
  b += "  <dd seq=\"" + seq + "\" type=\"1\" class=\"msg_body\">\n";
  b += "    <a class=\"msg_user\" href=\"javascript:;\" uin=\"" + uin + "\" qid=\"" + group +
       "\" qaid=0 title=\"查看资料\">" + uin + "</a>\n";
  b += "    <span class=\"msg_text\">申请加入群 <b>" + group + "</b></span>\n";
  b += "    <div class=\"msg_detail\" title=\"附加消息：";
  b += answer;
  b += "\"><label>附加消息：";
  b += answer;
  b += "</label></div>\n  </dd>\n";
  b += "</dl>\n";
  return b;
}

}  // namespace

std::string MakeReply(std::size_t bytes) {
  std::string reply =
      "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>群系统消息</title>\n"
      "</head>\n<body>\n<div id=\"msg_wrap\">\n";
  const std::string tail = "</div>\n</body>\n</html>\n";
  unsigned i = 0;
  do {
    reply += Block(i++);
  } while (reply.size() + tail.size() < bytes);
  return reply + tail;
}

}  // namespace lumirack::bench
