// Stand-ins for the cleaning methods' start-up services (see the header).
#include "app/method_services_pending.h"

OSStatus BZ_AvInitDlgTaskData(BZ_AvDlgTaskData **) { return noErr; }
OSStatus BZ_RlInitDlgTaskData(BZ_RlDlgTaskData **) { return noErr; }
