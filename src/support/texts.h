#pragma once

// Every text of the program's own, written once, in UTF-8. Code that needs one in the program's
// GBK calls Gbk() (support/charset.h) on it; file names on disk stay UTF-8.

#include <string_view>

namespace lumirack::texts {

// Message boxes.
inline constexpr std::string_view kNotice = "提示";
inline constexpr std::string_view kLoginSucceeded = "登陆成功！";
inline constexpr std::string_view kStopped = "成功停止！";
inline constexpr std::string_view kFillInFrequency = "请填写监控频率！";
inline constexpr std::string_view kHelp =
    "加群方式设置为需要验证消息方式：\r\n"
    "如果没有加群特定暗号，不填写加群问题和答案；有加群特定暗号，填写加群答案。\r\n"
    "\r\n"
    "加群方式设置为需要问答并由管理员审核方式：\r\n"
    "如果没有加群特定暗号，不填写加群问题和答案；有加群特定暗号，填写加群问题和答案。\r\n"
    "\r\n"
    "白名单说明：\r\n"
    "设置了白名单之后，只有白名单上的QQ才可以加群。\r\n"
    "\r\n"
    "黑名单说明：\r\n"
    "设置了黑名单之后，黑名单上的QQ不可加群。\r\n"
    "\r\n"
    "判定优先级说明：\r\n"
    "第一判定黑名单，第二判定白名单，第三判定加群特定暗号；不填写QQ群号将处理所有群的验证消息。";

// Window titles: the fixed part, then the publisher's address.
inline constexpr std::string_view kPublisherAddress = "lumirack.org";
inline constexpr std::string_view kLoginTitle = "请登录QQ - ";
inline constexpr std::string_view kMonitorTitle = "Lumirack - ";
inline constexpr std::string_view kFrequencyTitle = "监控频率 - 填写0为取消执行";

// Monitor window captions.
inline constexpr std::string_view kBknLabel = "BKN：";
inline constexpr std::string_view kHelpLink = "帮助";
inline constexpr std::string_view kBlacklistLabel = "黑名单：";
inline constexpr std::string_view kWhitelistLabel = "白名单：";
inline constexpr std::string_view kGroupLabel = "群号：";
inline constexpr std::string_view kQuestionLabel = "问题：";
inline constexpr std::string_view kAnswerLabel = "答案：";
inline constexpr std::string_view kReasonLabel = "拒绝理由：";
inline constexpr std::string_view kStart = "开始";
inline constexpr std::string_view kStop = "结束";
inline constexpr std::string_view kEntries = "个";
inline constexpr std::string_view kCount = "次数：";
inline constexpr std::string_view kRestLeftOut = "...后面略掉";
inline constexpr std::string_view kCharacters = "个字符...";

// Frequency dialog captions.
inline constexpr std::string_view kFrequencyLabel = "监控频率：";
inline constexpr std::string_view kMilliseconds = "毫秒";
inline constexpr std::string_view kOk = "确定";

// Markers of the system-message reply.
inline constexpr std::string_view kBlockLeft = "<dl class=\"msg_list\" unread=\"";
inline constexpr std::string_view kBlockRight = "</dl>";
inline constexpr std::string_view kSeqLeft = "<dd seq=\"";
inline constexpr std::string_view kSeqRight = "\" type";
inline constexpr std::string_view kUinLeft = "uin=\"";
inline constexpr std::string_view kUinRight = "\" qid=\"";
inline constexpr std::string_view kGroupLeft = "qid=\"";
inline constexpr std::string_view kGroupRight = "\" qaid";
inline constexpr std::string_view kAnswerLeft = "title=\"附加消息：";
inline constexpr std::string_view kAnswerRight = "\"><label>附加消息：";
inline constexpr std::string_view kQuestionAnswerLeft = "title=\"附加消息：问题：";
inline constexpr std::string_view kQuestionAnswerMiddle = "<br>答案：";
inline constexpr std::string_view kQuitMark = "退出群";

// Results lines.
inline constexpr std::string_view kQuitLineStart = "QQ：";
inline constexpr std::string_view kQuitLineGroup = "退出QQ群：";
inline constexpr std::string_view kRejectBlacklisted = "拒绝黑名单QQ：";
inline constexpr std::string_view kRejectNotWhitelisted = "拒绝白名单以外的QQ：";
inline constexpr std::string_view kRejectWrongAnswer = "拒绝答案错误QQ：";
inline constexpr std::string_view kApproved = "同意QQ：";
inline constexpr std::string_view kJoiningGroup = "加入QQ群：";
inline constexpr std::string_view kSucceeded = "成功";
inline constexpr std::string_view kFailed = "失败";

// Profiles: INI names inside the files (GBK there) and file names on disk (UTF-8).
inline constexpr std::string_view kPointerFile = "配置.ini";
inline constexpr std::string_view kPointerSection = "配置项";
inline constexpr std::string_view kPointerKey = "配置读取";
inline constexpr std::string_view kSharedProfile = "通用配置";
inline constexpr std::string_view kSettingsFile = "config.ini";
inline constexpr std::string_view kSettingsSection = "配置";
inline constexpr std::string_view kGroupKey = "群号";
inline constexpr std::string_view kQuestionKey = "问题";
inline constexpr std::string_view kAnswerKey = "答案";
inline constexpr std::string_view kReasonKey = "理由";
inline constexpr std::string_view kBlacklistFile = "黑名单.ini";
inline constexpr std::string_view kWhitelistFile = "白名单.ini";
inline constexpr std::string_view kRunLogPrefix = "运行记录";
inline constexpr std::string_view kRunLogSuffix = ".ini";

// Date and time pictures of style 0 (the others are ASCII).
inline constexpr std::string_view kDatePicture = "yyyy年MM月dd日 ";
inline constexpr std::string_view kTimePicture = "hh时mm分ss秒";
inline constexpr std::string_view kMonthDayPicture = "MM月dd日";
inline constexpr std::string_view kHourMinutePicture = "hh时mm分";
inline constexpr std::string_view kMinuteSecondPicture = "mm分ss秒";

// Stands for a double quote in the markers of TextBetween and ExtractAllBetween.
inline constexpr std::string_view kQuotePlaceholder = "#引号";

}  // namespace lumirack::texts
