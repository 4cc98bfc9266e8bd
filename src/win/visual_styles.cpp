// The activation context of the dialogs' manifest, for the life of a scope.
// Without it the dialogs still work, in the classic look.
#include "visual_styles.h"

#include "app_instance.h"

VisualStylesScope::VisualStylesScope() {
    ACTCTXA request = {};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID | ACTCTX_FLAG_HMODULE_VALID;
    request.hModule = hAppInstance;
    request.lpResourceName = ISOLATIONAWARE_MANIFEST_RESOURCE_ID;
    context_ = CreateActCtxA(&request);
    active_ = context_ != INVALID_HANDLE_VALUE &&
              ActivateActCtx(context_, &cookie_);
}

VisualStylesScope::~VisualStylesScope() {
    if (active_) {
        DeactivateActCtx(0, cookie_);
    }
    if (context_ != INVALID_HANDLE_VALUE) {
        ReleaseActCtx(context_);
    }
}
