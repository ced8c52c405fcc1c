#include "SilentInteractionHandler.h"

#include <com/sun/star/document/LockFileCorruptRequest.hpp>
#include <com/sun/star/document/LockFileIgnoreRequest.hpp>
#include <com/sun/star/document/LockedDocumentRequest.hpp>
#include <com/sun/star/document/OwnLockOnDocumentRequest.hpp>
#include <com/sun/star/task/XInteractionAbort.hpp>
#include <com/sun/star/task/XInteractionApprove.hpp>
#include <com/sun/star/task/XInteractionDisapprove.hpp>
#include <com/sun/star/task/XInteractionRequest.hpp>

void SilentInteractionHandler::handle(const Reference<css::task::XInteractionRequest> &request)
{
    if (!request.is())
        return;
    const css::uno::Any what = request->getRequest();
    Reference<css::task::XInteractionApprove> approve;
    Reference<css::task::XInteractionDisapprove> disapprove;
    Reference<css::task::XInteractionAbort> abort;
    const auto continuations = request->getContinuations();
    for (const auto &c : continuations) {
        if (!approve.is())
            approve.set(c, UNO_QUERY);
        if (!disapprove.is())
            disapprove.set(c, UNO_QUERY);
        if (!abort.is())
            abort.set(c, UNO_QUERY);
    }

    css::document::LockedDocumentRequest locked;
    css::document::OwnLockOnDocumentRequest ownLock;
    css::document::LockFileIgnoreRequest lockNotWritable;
    css::document::LockFileCorruptRequest lockCorrupt;
    if ((what >>= locked) && approve.is()) {
        approve->select(); // open read-only
    } else if ((what >>= ownLock) && !ownLock.IsStoring && approve.is()) {
        // The same user holds it open in another office window: read-only.
        approve->select();
    } else if (((what >>= lockNotWritable) || (what >>= lockCorrupt)) && approve.is()) {
        approve->select(); // go on without a lock file
    } else if (abort.is()) {
        abort->select();
    } else if (disapprove.is()) {
        disapprove->select();
    } else if (approve.is()) {
        approve->select();
    }
}
