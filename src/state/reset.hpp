#pragma once

// Puts every state record back to its start values.
void resetAllState();
