#pragma once

#include "platform/util/update_errors.h"
#include "updater.h"

// The StepResult list of one run of UpdPerformAppUpdate3, bound to the run's
// parameter record, which says which steps the run was asked for.
class StepResultList {
 public:
  StepResultList(const APP_UPDATE_PARAMS& params, HOST_ARRAY* steps)
      : params_(params), steps_(steps) {}

  // One entry {12, code, step}; an entry the list cannot take is dropped
  // without a report.
  void Append(UpdError code, uint32_t step);
  // The code for every step the run was asked for: the application's own
  // update (steps 1 and 2) unless skipped, the host's products when it
  // listed any, the licence agreement when it named an agreement product.
  void AppendStepResult(UpdError code);

 private:
  const APP_UPDATE_PARAMS& params_;
  HOST_ARRAY* steps_;
};
