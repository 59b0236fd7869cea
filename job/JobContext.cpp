#include "JobContext.h"

#include "MessageService.h"
#include "PickerService.h"
#include "WaitService.h"

MessageService& JobContext::messages() const {
    return MessageService::instance();
}

PickerService& JobContext::pickers() const {
    return PickerService::instance();
}

WaitService& JobContext::waits() const {
    return WaitService::instance();
}
