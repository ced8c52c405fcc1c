#pragma once

#include "UnoSupport.h"

#include <com/sun/star/task/XInteractionHandler.hpp>
#include <cppuhelper/implbase1.hxx>

// Answers every question the office would otherwise put to the user in a
// dialog while loading or saving for us, so that no dialog can block a call:
// a document locked by someone else opens read-only, every other request
// (missing filter options, I/O errors, repair offers) is cancelled and so
// fails the call.
class SilentInteractionHandler : public cppu::WeakImplHelper1<css::task::XInteractionHandler> {
public:
    void SAL_CALL handle(const css::uno::Reference<css::task::XInteractionRequest> &request) override;
};
