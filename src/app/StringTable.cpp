#include "app/StringTable.h"

#include <algorithm>
#include <iterator>

namespace carillon {
namespace {

struct StringRow {
    int id;
    const char* text;
};

constexpr StringRow kStrings[] = {
    {IDS_ABOUTBOX, "&A propos de Carillon..."},
    {IDS_WELCOME_TITLE, "Welcome on the VRK Firmware update utility"},
    {IDS_WELCOME_TEXT, "This tool will enable you to update the firmware of your VRK printer..."},
    {IDS_PREVIOUS, "Previous"},
    {IDS_NEXT, "Next"},
    {IDS_CANCEL, "Cancel"},
    {IDS_SELECT_PRINTER, "Please, select your printer..."},
    {IDS_PRESS_F5, "Press F5 to refresh..."},
    {IDS_NO_PRINTER_QUESTION, "No printer has been found on this port.\nDo you really want to use this port?"},
    {IDS_FIRMWARE_TITLE, "Firmware file selection"},
    {IDS_FIRMWARE_TEXT, "Please, select the firmware file..."},
    {IDS_PACKAGE_FILTER, "VRK Package files (*.VRK_Package)|*.VRK_Package|All files (*.*)|*.*||"},
    {IDS_TOTAL_FORMAT, "Total:   %d of %d"},
    {IDS_PROGRESS_FORMAT, "Progress: %d of %d"},
    {IDS_FAIL_TO_CONNECT, "Fail to connect..."},
    {IDS_INVALID_FILE_FORMAT, "The file \"%s\" is not valid...\n(Error Code=%08Xh)"},
    {IDS_PROGRAMMING_ERROR, "Programming Error..."},
    {IDS_ERROR_CODE_FORMAT, "(Error Code=%08Xh)"},
    {IDS_CONGRATULATION, "Congratulation, your printer firmware is now updated..."},
    {IDS_FINISH, "Finish"},
    {IDS_RESTART, "Restart"},
    {IDS_WAIT_END_OF_UPDATE, "Please wait the end of the firmware update before closing..."},
    {IDS_SELECT_FIRMWARE, "Please, select a firmware file..."},
    {IDS_OUTPUT_TITLE, "Output binary file"},
    {IDS_OUTPUT_TEXT,
     "Output binary files may be created.\nThose binary files are needed to reflash the printers under Linux. "
     "\n\nLeave this blank if you don't want to create the file..."},
    {IDS_BINARY_FILTER, "VRK Binary files (*.VRK_Package.bin)|*.VRK_Package.bin|All files (*.*)|*.*||"},
    {IDS_STOP_QUESTION,
     "Do you want to stop the firmware update?\nThe printer will not work until the same update has been run to its "
     "end."},
};

constexpr std::size_t kStringBuffer = 500;

}  // namespace

std::string LoadString(int id) {
    auto it = std::find_if(std::begin(kStrings), std::end(kStrings), [id](const StringRow& row) { return row.id == id; });
    if (it == std::end(kStrings)) return {};
    std::string text = it->text;
    if (text.size() >= kStringBuffer) text.resize(kStringBuffer - 1);
    return text;
}

}  // namespace carillon
