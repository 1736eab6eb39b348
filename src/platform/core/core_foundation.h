// Everything of the CoreFoundation stand-in in one include.
#pragma once

#include "platform/core/cf_array.h"
#include "platform/core/cf_base.h"
#include "platform/core/cf_bundle.h"
#include "platform/core/cf_data.h"
#include "platform/core/cf_date.h"
#include "platform/core/cf_dictionary.h"
#include "platform/core/cf_error.h"
#include "platform/core/cf_number.h"
#include "platform/core/cf_plist.h"
#include "platform/core/cf_string.h"
#include "platform/core/cf_url.h"
#include "platform/core/formatter.h"
