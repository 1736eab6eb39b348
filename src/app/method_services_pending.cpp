// Stand-ins for the cleaning methods' start-up services (see the header).
#include "app/method_services_pending.h"

OSStatus BZ_RnInitDlgTaskData(BZ_RnDlgTaskData **) { return noErr; }
OSStatus BZ_RlInitDlgTaskData(BZ_RlDlgTaskData **) { return noErr; }
OSStatus BZ_CreateNoiseTablesTask() { return noErr; }
