#pragma once
// Owning handles of GDAL datasets and OGR features: closed and destroyed
// by GDAL's own calls when they go out of scope.
#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <memory>

namespace assess {

struct DatasetCloser {
  void operator()(GDALDataset* d) const { GDALClose(d); }
};
using Dataset = std::unique_ptr<GDALDataset, DatasetCloser>;

struct FeatureDeleter {
  void operator()(OGRFeature* f) const { OGRFeature::DestroyFeature(f); }
};
using Feature = std::unique_ptr<OGRFeature, FeatureDeleter>;

}  // namespace assess
