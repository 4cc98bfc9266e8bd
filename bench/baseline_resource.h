// Identifiers of the baseline program's own resources; it is a separate
// program, measured beside Velmora, not a part of it.
#pragma once

#define IDD_BASELINE 201
#define IDC_BASELINE_TEXT 2001
