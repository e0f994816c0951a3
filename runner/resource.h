// Resource numbers of orvanta.exe.
#ifndef ORVANTA_RUNNER_RESOURCE_H_
#define ORVANTA_RUNNER_RESOURCE_H_

#define IDI_APP_ICON 101

#endif  // ORVANTA_RUNNER_RESOURCE_H_
