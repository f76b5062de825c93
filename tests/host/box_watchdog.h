// Message boxes block forever without a user. The watchdog looks for a dialog box ("#32770") with
// a given title on its own thread, keeps its text (the static control 0xFFFF) and closes it.
#pragma once

#include "frame/platform.h"

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kwill::test {

class BoxWatchdog {
  public:
    explicit BoxWatchdog(std::wstring title) : title_(std::move(title)) {
        thread_ = std::thread([this] { Watch(); });
    }
    ~BoxWatchdog() {
        stop_ = true;
        thread_.join();
    }
    BoxWatchdog(const BoxWatchdog&) = delete;
    BoxWatchdog& operator=(const BoxWatchdog&) = delete;

    // The texts of the boxes closed so far.
    std::vector<std::wstring> Texts() {
        std::lock_guard<std::mutex> lock(mutex_);
        return texts_;
    }

  private:
    void Watch() {
        while (!stop_) {
            if (HWND box = ::FindWindowW(L"#32770", title_.c_str())) {
                wchar_t text[1024] = {};
                ::GetDlgItemTextW(box, 0xFFFF, text, 1024);
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    texts_.emplace_back(text);
                }
                ::PostMessageW(box, WM_COMMAND, IDOK, 0);
                // Give the box time to go before looking again.
                for (int i = 0; i < 50 && ::IsWindow(box); ++i) ::Sleep(10);
            }
            ::Sleep(20);
        }
    }

    std::wstring title_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::wstring> texts_;
    std::thread thread_;
};

}  // namespace kwill::test
