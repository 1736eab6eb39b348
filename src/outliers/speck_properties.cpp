// Speck records and their lists.
#include "outliers/speck_properties.h"

#include "general/memory_lists.h"

void BZ_OuDisposeSpeckList(BZ_OuSpeckLE **first) {
  if (first == nullptr) return;
  for (BZ_OuSpeckLE *s = *first; s != nullptr; s = s->next) RG_DisposeRegion(&s->speck.rgn);
  LL_DisposeLinkedList(first);
}
