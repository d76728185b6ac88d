// Public functions of the library's sound subsystem, as the game sees them.
#pragma once
