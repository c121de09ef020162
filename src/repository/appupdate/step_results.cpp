#include "repository/appupdate/step_results.h"

#include "platform/util/host_records.h"

void StepResultList::Append(UpdError code, uint32_t step) {
  const StepResult entry{static_cast<uint32_t>(sizeof(StepResult)), code, step};
  (void)HostArrayPushBack(steps_, entry);
}

void StepResultList::AppendStepResult(UpdError code) {
  if (params_.skipApplication == 0 && params_.skipApplication2 == 0) {
    Append(code, UPD_STEP_APPLICATION);
    Append(code, UPD_STEP_APPLICATION_2);
  }
  if (params_.products.count != 0) Append(code, UPD_STEP_PRODUCTS);
  if (params_.agreementProduct.length != 0) Append(code, UPD_STEP_AGREEMENT);
}
