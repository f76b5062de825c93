// What the stand-in host does beyond the basics, chosen by words on its command line (they come
// after the start-up words, e.g. as FindOrStartKwillW's extra arguments):
//
//   --window-delay MS    wait this long before creating the main window
//   --never-signal       never signal the start-up event
//   --exit-at-once       end before creating any window
//   --appcommand-result N  answer message 0x801D with N (default 1, handled)
//   --copydata-hang MS   take this long over every WM_COPYDATA (a host that stopped answering)
//   --copydata-result N  answer every WM_COPYDATA with N (default 1, TRUE)
//   --copydata-from      end each COPYDATA record with " from <wParam>" (the sending window)
//   --dde                run two DDE servers, one with a Unicode and one with an ANSI window
//   --dde-silent         the DDE servers never acknowledge an execute
//
// The DDE servers answer the application "KwillStandIn" (both) and "KwillStandInW" or
// "KwillStandInA" (one each) on the topics "System" and "KwillTopic", and record:
//   DDE W|A INITIATE <application> <topic>
//   DDE W|A EXECUTE <command as UTF-8>
//   DDE W|A TERMINATE
#pragma once

#include "frame/platform.h"

#include <string>

namespace kwill::standin {

struct Options {
    DWORD windowDelayMs = 0;
    bool neverSignal = false;
    bool exitAtOnce = false;
    LRESULT appCommandResult = 1;
    DWORD copyDataHangMs = 0;
    LRESULT copyDataResult = TRUE;
    bool copyDataFrom = false;
    bool dde = false;
    bool ddeSilent = false;
};

Options ParseOptions(int argc, wchar_t** argv);

using RecordFn = void (*)(const std::string& line);
// Creates the two server windows on this thread; false when one cannot be made.
bool StartDdeServers(const Options& options, RecordFn record);

}  // namespace kwill::standin
