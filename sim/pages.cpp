#include "sim/pages.h"

#include <cctype>

namespace lumirack::sim {
namespace {

constexpr const char* kStyle =
    "<style>body{font-family:sans-serif;margin:0;background:#f3f6f9}"
    ".box{width:360px;margin:40px auto;background:#fff;padding:24px;border-radius:6px}"
    "label{display:block;margin:10px 0}input{width:100%;padding:6px;box-sizing:border-box}"
    "button{width:100%;padding:8px;margin-top:12px}.error{color:#c00}</style>\n";

std::string PercentEncodeQuery(const std::string& text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

}  // namespace

std::string HtmlEscape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string LoginPage(const std::string& sUrl, const std::string& quickUin,
                      const std::string& error) {
  std::string quickHref =
      "/cgi-bin/quick_login?uin=" + quickUin + "&s_url=" + PercentEncodeQuery(sUrl);
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<title>QQ登录</title>\n";
  page += kStyle;
  page +=
      "</head>\n<body>\n<div class=\"box\">\n<h2>QQ登录</h2>\n"
      "<p>登录后进入群管理。</p>\n";
  if (!error.empty()) page += "<p class=\"error\" id=\"error\">" + HtmlEscape(error) + "</p>\n";
  page +=
      "<form id=\"loginform\" method=\"post\" action=\"/cgi-bin/login\">\n"
      "<input type=\"hidden\" name=\"s_url\" value=\"" +
      HtmlEscape(sUrl) +
      "\">\n"
      "<label>QQ号码<input id=\"u\" name=\"u\" inputmode=\"numeric\" "
      "autocomplete=\"username\" placeholder=\"QQ号码\"></label>\n"
      "<label>密码<input id=\"p\" name=\"p\" type=\"password\" "
      "autocomplete=\"current-password\" placeholder=\"密码\"></label>\n"
      "<button id=\"login_button\" type=\"submit\">登录</button>\n"
      "</form>\n"
      "<p><a id=\"quick_login\" href=\"" +
      HtmlEscape(quickHref) + "\">快速登录</a>（演示帐号 " + HtmlEscape(quickUin) +
      "）</p>\n</div>\n</body>\n</html>\n";
  return page;
}

std::string HomePage(const std::string& uin) {
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<title>群管理</title>\n";
  page += kStyle;
  page += "</head>\n<body>\n<div class=\"box\">\n<h2>群管理</h2>\n";
  if (uin.empty()) {
    page += "<p>尚未登录。</p>\n";
  } else {
    page += "<p>欢迎，" + HtmlEscape(uin) + "。</p>\n";
  }
  page += "<ul>\n<li>我的群</li>\n<li>群系统消息</li>\n</ul>\n</div>\n</body>\n</html>\n";
  return page;
}

std::string MessageBlock(const Message& m) {
  const std::string seq = HtmlEscape(m.seq);
  const std::string uin = HtmlEscape(m.uin);
  const std::string group = HtmlEscape(m.group);
  std::string b = "<dl class=\"msg_list\" unread=\"";
  b += m.unread ? "1" : "0";
  b += "\">\n";
  // data-seq comes first on purpose: only "<dd seq=\"" marks the sequence number.
  b += "  <dt class=\"msg_head\" data-seq=\"" + seq + "\"><span class=\"msg_kind\">";
  b += m.quit ? "退群通知" : "加群申请";
  b += "</span> <span class=\"msg_time\" title=\"收到时间\">刚刚</span></dt>\n";
  b += "  <dd seq=\"" + seq + "\" type=\"" + HtmlEscape(m.type) + "\" class=\"msg_body\">\n";
  b += "    <a class=\"msg_user\" href=\"javascript:;\" uin=\"" + uin + "\" qid=\"" + group +
       "\" qaid=\"0\" title=\"查看资料\">" + uin + "</a>\n";
  if (m.quit) {
    b += "    <span class=\"msg_text\">已退出群 <b class=\"group\">" + group + "</b></span>\n";
    b += "  </dd>\n";
  } else {
    b += "    <span class=\"msg_text\">申请加入群 <b class=\"group\">" + group + "</b></span>\n";
    std::string attached;
    if (m.question.empty()) {
      attached = HtmlEscape(m.answer);
    } else {
      attached = "问题：" + HtmlEscape(m.question) + "<br>答案：" + HtmlEscape(m.answer);
    }
    b += "    <div class=\"msg_detail\" title=\"附加消息：" + attached +
         "\"><label>附加消息：</label>" + attached + "</div>\n";
    b += "  </dd>\n";
    b += "  <dd class=\"msg_ops\">\n    <a class=\"btn\" href=\"javascript:;\" data-cmd=\"1\" "
         "title=\"同意\">同意</a>\n    <a class=\"btn\" href=\"javascript:;\" data-cmd=\"2\" "
         "title=\"拒绝\">拒绝</a>\n  </dd>\n";
  }
  b += "</dl>";
  return b;
}

std::string MessagePage(const std::vector<Message>& messages, const std::string& uin) {
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<title>群系统消息</title>\n"
      "<script type=\"text/javascript\">\n"
      "var g_uin = \"" +
      HtmlEscape(uin) + "\", g_count = " + std::to_string(messages.size()) +
      ";\n"
      "// 模板：<dl class=\"msg_tpl\" unread=\"0\"><dd seq=\"{seq}\" type=\"{type}\"></dd></dl>\n"
      "function render(item) { return '<dd seq=\"' + item.seq + '\" type=\"' + item.type + "
      "'\"></dd></dl>'; }\n"
      "</script>\n</head>\n<body>\n<div id=\"msg_wrap\" class=\"wrap\" title=\"系统消息\">\n"
      // A list of another class before the first block, with fields of its own.
      "<dl class=\"msg_filter\" data-filter=\"2\">\n"
      "  <dt>筛选</dt>\n"
      "  <dd seq=\"0\" type=\"0\" uin=\"0\" qid=\"0\" qaid=\"0\" title=\"附加消息：示例\"><label>"
      "附加消息：</label>示例</dd>\n"
      "</dl>\n";
  if (messages.empty()) {
    page += "<p class=\"msg_empty\">暂无系统消息</p>\n";
  }
  bool first = true;
  for (const Message& m : messages) {
    if (!first) page += "\n<div class=\"msg_sep\" title=\"分隔\"></div>\n";
    first = false;
    page += MessageBlock(m);
  }
  page +=
      "\n<dl class=\"msg_more\"><dd title=\"更多消息\"><a href=\"javascript:;\">查看更多</a>"
      "</dd></dl>\n</div>\n</body>\n</html>\n";
  return page;
}

std::string ExpiredLoginPage() {
  return "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<title>群系统消息</title>\n</head>\n<body>\n"
         "<dl class=\"msg_error\"><dd title=\"提示\">登录状态已失效，请重新登录。</dd></dl>\n"
         "</body>\n</html>\n";
}

}  // namespace lumirack::sim
