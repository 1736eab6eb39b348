// The dialog's answers about the preview, through the engine host.
#include "outliers/preview_data.h"

#include "engine/runtime/engine_host.h"

BZ_PreviewData *BZ_GetPreviewDataPtr() {
  const BZ_EngineHost *host = BZ_GetEngineHost();
  return host->getPreviewDataPtr(host->refCon);
}

Boolean BZ_GetEditingOutliers() {
  const BZ_EngineHost *host = BZ_GetEngineHost();
  return host->getEditingOutliers(host->refCon);
}
