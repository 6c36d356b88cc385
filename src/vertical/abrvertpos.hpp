#pragma once

// Gives every live packet the height at which its class's profile table
// reaches the packet's rank.
void ABRVERTPOS2();
