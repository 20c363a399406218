#pragma once
// The texts the wizard and the update job show, loaded by id.

#include <string>

namespace carillon {

enum StringId : int {
    IDS_ABOUTBOX = 101,
    IDS_WELCOME_TITLE = 102,
    IDS_WELCOME_TEXT = 103,
    IDS_PREVIOUS = 104,
    IDS_NEXT = 105,
    IDS_CANCEL = 106,
    IDS_SELECT_PRINTER = 107,
    IDS_PRESS_F5 = 108,
    IDS_NO_PRINTER_QUESTION = 109,
    IDS_FIRMWARE_TITLE = 110,
    IDS_FIRMWARE_TEXT = 111,
    IDS_PACKAGE_FILTER = 112,
    IDS_TOTAL_FORMAT = 114,
    IDS_PROGRESS_FORMAT = 115,
    IDS_FAIL_TO_CONNECT = 116,
    IDS_INVALID_FILE_FORMAT = 117,
    IDS_PROGRAMMING_ERROR = 118,
    IDS_ERROR_CODE_FORMAT = 120,
    IDS_CONGRATULATION = 121,
    IDS_FINISH = 122,
    IDS_RESTART = 123,
    IDS_WAIT_END_OF_UPDATE = 124,
    IDS_SELECT_FIRMWARE = 125,
    IDS_OUTPUT_TITLE = 126,
    IDS_OUTPUT_TEXT = 127,
    IDS_BINARY_FILTER = 128,
    IDS_STOP_QUESTION = 129,
};

// The text of a string id, at most 499 characters; empty for an unknown id.
std::string LoadString(int id);

}  // namespace carillon
