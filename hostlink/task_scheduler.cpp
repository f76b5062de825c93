#include "hostlink/task_scheduler.h"

#include <oleauto.h>
#include <wrl/client.h>

namespace kwill::hostlink {
namespace {

using Microsoft::WRL::ComPtr;

// A BSTR for one call, freed afterwards.
class Bstr {
  public:
    explicit Bstr(const std::wstring& text)
        : value_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~Bstr() { ::SysFreeString(value_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    operator BSTR() const { return value_; }
    bool ok() const { return value_ != nullptr; }

  private:
    BSTR value_;
};

// COM on this thread for as long as the task lives. A thread that already runs COM in the other
// model keeps it (RPC_E_CHANGED_MODE) and is not uninitialised here.
class ComScope {
  public:
    ComScope() : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_)) ::CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    bool usable() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }
    HRESULT result() const { return hr_; }

  private:
    HRESULT hr_;
};

VARIANT_BOOL Bool(bool value) {
    return value ? VARIANT_TRUE : VARIANT_FALSE;
}

class RealScheduledTask final : public ScheduledTask {
  public:
    explicit RealScheduledTask(std::wstring name) : name_(std::move(name)) {}

    HRESULT Run(LONG flags, LONG sessionId, const std::wstring& user) override {
        VARIANT none;
        ::VariantInit(&none);
        Bstr account(user);
        if (!account.ok()) return E_OUTOFMEMORY;
        return registered_->RunEx(none, flags, sessionId, account,
                                  running_.ReleaseAndGetAddressOf());
    }

    HRESULT RefreshState(TASK_STATE& state) override {
        if (!running_) return E_UNEXPECTED;
        HRESULT hr = running_->Refresh();
        if (FAILED(hr)) return hr;
        return running_->get_State(&state);
    }

    HRESULT Delete() override {
        Bstr name(name_);
        if (!name.ok()) return E_OUTOFMEMORY;
        return folder_->DeleteTask(name, 0);
    }

    // The interface pointers are released before COM is left (members go in reverse order).
    ComScope com_;
    ComPtr<ITaskFolder> folder_;
    ComPtr<IRegisteredTask> registered_;
    ComPtr<IRunningTask> running_;

  private:
    std::wstring name_;
};

// Fills the task's definition; every setter's failure is the result, so that a setting the
// scheduler refuses (the run level above all) never leaves a task that would run elevated.
HRESULT Define(ITaskDefinition* task, const TaskDefinition& d) {
    HRESULT hr;
    ComPtr<IRegistrationInfo> info;
    if (FAILED(hr = task->get_RegistrationInfo(&info))) return hr;
    if (FAILED(hr = info->put_Author(Bstr(d.author)))) return hr;

    ComPtr<IPrincipal> principal;
    if (FAILED(hr = task->get_Principal(&principal))) return hr;
    if (FAILED(hr = principal->put_Id(Bstr(d.principalId)))) return hr;
    if (FAILED(hr = principal->put_UserId(Bstr(d.userId)))) return hr;
    if (FAILED(hr = principal->put_LogonType(d.logonType))) return hr;
    if (FAILED(hr = principal->put_RunLevel(d.runLevel))) return hr;

    ComPtr<ITaskSettings> settings;
    if (FAILED(hr = task->get_Settings(&settings))) return hr;
    if (FAILED(hr = settings->put_AllowDemandStart(Bool(d.allowDemandStart)))) return hr;
    if (FAILED(hr = settings->put_DisallowStartIfOnBatteries(Bool(d.disallowStartIfOnBatteries))))
        return hr;
    if (FAILED(hr = settings->put_StopIfGoingOnBatteries(Bool(d.stopIfGoingOnBatteries))))
        return hr;
    if (FAILED(hr = settings->put_RunOnlyIfNetworkAvailable(Bool(d.runOnlyIfNetworkAvailable))))
        return hr;
    if (FAILED(hr = settings->put_Priority(d.priority))) return hr;
    if (FAILED(hr = settings->put_AllowHardTerminate(Bool(d.allowHardTerminate)))) return hr;
    if (FAILED(hr = settings->put_ExecutionTimeLimit(Bstr(d.executionTimeLimit)))) return hr;

    ComPtr<IActionCollection> actions;
    if (FAILED(hr = task->get_Actions(&actions))) return hr;
    ComPtr<IAction> action;
    if (FAILED(hr = actions->Create(TASK_ACTION_EXEC, &action))) return hr;
    ComPtr<IExecAction> exec;
    if (FAILED(hr = action.As(&exec))) return hr;
    if (FAILED(hr = exec->put_Path(Bstr(d.program)))) return hr;
    if (!d.arguments.empty() && FAILED(hr = exec->put_Arguments(Bstr(d.arguments)))) return hr;
    if (!d.workingDirectory.empty() &&
        FAILED(hr = exec->put_WorkingDirectory(Bstr(d.workingDirectory))))
        return hr;
    return S_OK;
}

}  // namespace

HRESULT RegisterSchedulerTask(const std::wstring& name, const TaskDefinition& definition,
                              std::unique_ptr<ScheduledTask>& task) {
    auto made = std::make_unique<RealScheduledTask>(name);
    if (!made->com_.usable()) return made->com_.result();

    HRESULT hr;
    ComPtr<ITaskService> service;
    if (FAILED(hr = ::CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_PPV_ARGS(&service))))
        return hr;
    VARIANT none;
    ::VariantInit(&none);
    if (FAILED(hr = service->Connect(none, none, none, none))) return hr;
    if (FAILED(hr = service->GetFolder(Bstr(L"\\"), &made->folder_))) return hr;

    ComPtr<ITaskDefinition> defined;
    if (FAILED(hr = service->NewTask(0, &defined))) return hr;
    if (FAILED(hr = Define(defined.Get(), definition))) return hr;

    VARIANT user;
    ::VariantInit(&user);
    Bstr userText(definition.userId);
    user.vt = VT_BSTR;
    user.bstrVal = userText;
    if (FAILED(hr = made->folder_->RegisterTaskDefinition(
                   Bstr(name), defined.Get(), TASK_CREATE_OR_UPDATE, user, none,
                   TASK_LOGON_INTERACTIVE_TOKEN, none, &made->registered_))) {
        return hr;
    }
    task = std::move(made);
    return S_OK;
}

}  // namespace kwill::hostlink
