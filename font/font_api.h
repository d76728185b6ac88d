// Public functions of the library's font subsystem, as the game sees them.
#pragma once
