// Everything the platform offers to hosts and to the two libraries.
#pragma once

#include <dbplatform/ado/Ado.h>
#include <dbplatform/automation/Bstr.h>
#include <dbplatform/automation/BstrT.h>
#include <dbplatform/automation/DateTime.h>
#include <dbplatform/automation/SafeArray.h>
#include <dbplatform/automation/Variant.h>
#include <dbplatform/automation/VariantT.h>
#include <dbplatform/base/CodePage.h>
#include <dbplatform/base/Diagnostics.h>
#include <dbplatform/base/HResult.h>
#include <dbplatform/base/MessageBox.h>
#include <dbplatform/base/SystemMessage.h>
#include <dbplatform/base/Version.h>
#include <dbplatform/base/WinTypes.h>
#include <dbplatform/com/ComError.h>
#include <dbplatform/com/ComPtr.h>
#include <dbplatform/com/ComRuntime.h>
#include <dbplatform/com/Guid.h>
#include <dbplatform/com/Unknown.h>
#include <dbplatform/datalink/DataLinks.h>
#include <dbplatform/mfc/Object.h>
#include <dbplatform/mfc/String.h>
#include <dbplatform/mfc/StringList.h>
#include <dbplatform/mfc/Time.h>
