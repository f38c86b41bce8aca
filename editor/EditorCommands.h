// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The numbers RunEditorCommand of the console surface understands.

namespace pelorin::EditorCommand {

inline constexpr int kSelectLine = 136;
inline constexpr int kSelectAll = 137;
inline constexpr int kPaste = 140;
inline constexpr int kGoToLine = 168;  // argument: line
inline constexpr int kFindNext = 176;
inline constexpr int kMarkAll = 177;
inline constexpr int kFindDialog = 178;
inline constexpr int kCopy = 198;
inline constexpr int kClearMarks = 207;
inline constexpr int kFontDialog = 224;  // argument: true
inline constexpr int kShowSpaces = 238;
inline constexpr int kHideSpaces = 239;

}  // namespace pelorin::EditorCommand
