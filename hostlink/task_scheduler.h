// The real task scheduler behind HostSystem::RegisterTask (Task Scheduler 2.0 through COM).
#pragma once

#include "hostlink/host_system.h"

namespace kwill::hostlink {

HRESULT RegisterSchedulerTask(const std::wstring& name, const TaskDefinition& definition,
                              std::unique_ptr<ScheduledTask>& task);

}  // namespace kwill::hostlink
