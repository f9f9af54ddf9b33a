// The names of the folder and file checks of a scan, untranslated: the log writes them (translated)
// and TScanRejection::Check holds them, so front ends that explain a rejection compare against
// these and never retype them.
#pragma once

namespace pelcrow {

inline constexpr const char* kExcludePathsCheck = "Exclude paths check";
inline constexpr const char* kProtectSysAppFoldersCheck = "Protect System and Application folders check";
inline constexpr const char* kIncludeHiddenCheck = "Include Hidden objects check";
inline constexpr const char* kJunctionCheck = "Skip NTFS junction check";
inline constexpr const char* kTempFolderCheck = "Skip temporary files check";
inline constexpr const char* kRecyclerCheck = "Do NOT scan Recycle bin check";
inline constexpr const char* kContainerCheck = "Container folder check";
inline constexpr const char* kIncludeMasksCheck = "Include masks check";
inline constexpr const char* kExcludeMasksCheck = "Exclude masks check";
inline constexpr const char* kZeroSizeCheck = "Skip Zero-sized files check";
inline constexpr const char* kMinSizeCheck = "Min FileSize check";
inline constexpr const char* kMaxSizeCheck = "Max FileSize check";
inline constexpr const char* kHardLinkCheck = "Skip NTFS hard link check";
inline constexpr const char* kProtectSystemCheck = "Protect system files check";
inline constexpr const char* kSystemCritical = "[System Critical]";
inline constexpr const char* kTempFilesCheck = "Skip temporary files check";
inline constexpr const char* kCompressedCheck = "Skip Compressed files check";
inline constexpr const char* kSymLinkCheck = "Symbolic link check";
inline constexpr const char* kCustomFilterCheck = "Custom filter check";
inline constexpr const char* kAudioTagsEmptyCheck = "AudioTags empty check";
inline constexpr const char* kErrorCheck = "Error:";

}  // namespace pelcrow
