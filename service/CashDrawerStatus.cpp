// The 50 ms status poll: edge detection into the status queue and delivery of
// the queued codes to the control object.
#include "contract/ControlObject.h"
#include "contract/RuntimeError.h"
#include "service/CashDrawer.h"

namespace quillvane {

// A tick never waits: it takes the reports that have arrived since the last
// one. When none has, the state stays as it was and nothing is queued; a
// device lost meanwhile is closed, and that invents no closed event either.
void CashDrawer::t2_Timer() {
  // A lost drawer is searched for, enabled or not, when Reconnect is set.
  if (mRecovery.blnReconnect) SearchAgain();
  if (rec.blnDeviceEnabled == kFalse) return;

  TakeReports(false);
  if (rec.blnLastDrawerOpened != kFalse && rec.blnDrawerOpened == kFalse) {
    EnqueueStatus(contract::CASH_SUE_DRAWERCLOSED);
  } else if (rec.blnLastDrawerOpened == kFalse && rec.blnDrawerOpened != kFalse) {
    EnqueueStatus(contract::CASH_SUE_DRAWEROPEN);
  }
  rec.blnLastDrawerOpened = rec.blnDrawerOpened;

  if (rec.blnFreezeEvents != kFalse) return;
  // Each code leaves the queue before it is delivered: a tick that runs inside
  // the delivery (the handler pumps messages) goes on with the codes behind
  // it, and an error in the delivery loses only the code it was delivering.
  for (std::int32_t lngCode = DequeueStatus(); lngCode != -1; lngCode = DequeueStatus()) {
    FireStatusUpdate(lngCode);
  }
}

void CashDrawer::EnqueueStatus(const std::int32_t& lngCode) {
  rec.lngStatusQueue.Enqueue(lngCode);
  TraceStatus("queued", lngCode);
}

std::int32_t CashDrawer::DequeueStatus() { return rec.lngStatusQueue.Dequeue(); }

void CashDrawer::FireStatusUpdate(std::int32_t lngCode) {
  // Our own reference: the handler may call CloseService, which drops the field.
  const contract::AutomationRef objControl = rec.objControl;
  if (!objControl) throw RuntimeError(kErrObjectNotSet);
  objControl->CallMethod(contract::kStatusUpdateMethod, lngCode);
  TraceStatus("delivered", lngCode);
}

}  // namespace quillvane
