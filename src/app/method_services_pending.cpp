// Stand-ins for the cleaning methods' start-up services (see the header).
#include "app/method_services_pending.h"

OSStatus BZ_RlInitDlgTaskData(BZ_RlDlgTaskData **) { return noErr; }
