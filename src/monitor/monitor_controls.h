#pragma once

// Names of the monitor window's controls that other subsystems read and write.

#include <string_view>

namespace lumirack::monitor {

inline constexpr std::string_view kGroupBox = "编辑框群号";
inline constexpr std::string_view kQuestionBox = "编辑框问题";
inline constexpr std::string_view kAnswerBox = "编辑框答案";
inline constexpr std::string_view kReasonBox = "编辑框理由";
inline constexpr std::string_view kBlacklistBox = "编辑框黑名单";
inline constexpr std::string_view kWhitelistBox = "编辑框白名单";
inline constexpr std::string_view kResultsBox = "编辑框结果";

}  // namespace lumirack::monitor
