// Public functions of the library's image subsystem, as the game sees them.
#pragma once
