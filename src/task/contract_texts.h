#pragma once
// Texts of this program that look like slips of the pen and are not. Users,
// their scripts and the files of earlier runs rely on them byte for byte
// (spelling, spacing, the trailing blanks), so they are part of the contract
// and must not be corrected.
// The network client's texts are kept the same way in net/net_errors.h.

#include <cstdint>
#include <string>

namespace tessellon {

// Message boxes, with their trailing blanks.
inline std::string TaskStoppedMessage() {
    return "Task stoped!" + std::string(20, ' ');
}
inline std::string NoTaskRunningMessage() {
    return "No task running now." + std::string(18, ' ');
}
inline std::string NoLogFileMessage() {
    return "No logfile now." + std::string(25, ' ');
}

// Refusals of a start.
inline constexpr const char* kLeftNotLessThanRight =
    "Left Longitude should less than Right Longitude!";
inline constexpr const char* kBottomNotLessThanTop =
    "Bottom Latitude should less than Top Latitude!";

// The task log.
inline constexpr const char* kTaskStoppedLogLine = "Task Stoped!";
// Logged for worker `number` (from 1) when the user stops: no blank after
// the number.
inline std::string WorkerStopLine(std::int32_t number) {
    return "Thread" + std::to_string(number) + "will be terminated by user. please wait...";
}
// A tile given up after an error without a message: a blank before the arrow.
inline std::string TileFailedLine(const std::string& tileFileName, const std::string& url) {
    return tileFileName + ":failed ->" + url;
}
// Why a worker gave tiles up or ended.
inline constexpr const char* kBanMessage =
    "Error: may be your IP is banned.\nPlease try again later.";
inline constexpr const char* kNetworkMessage = "Error: Your network has problem, please check it.";
inline constexpr const char* kNotFoundMessage = "Error: the image is not found on server.";

// The failed-tile window's text before any task.
inline constexpr const char* kFailedListPlaceholder = "[Failed tile inforamtion window]";

// The re-download.
inline constexpr const char* kNoFailedRecords = "No failed files records.";
// A record fetched again: a blank before the arrow.
inline std::string RecordFetchedLine(const std::string& path, const std::string& url) {
    return path + ":" + url + " ->OK";
}
// Its requests' Connection header, with an underscore.
inline constexpr const char* kRedownloadConnection = "Keep_Alive";

// Captions. Two blanks before "to"; a blank before the colon.
inline constexpr const char* kConvertMenuCaption =
    "Convert \"Degrees,Minutes,Seconds\"  to \"Degrees\"...";
inline constexpr const char* kDefaultPathCaption = "Default path to save :";

}  // namespace tessellon
