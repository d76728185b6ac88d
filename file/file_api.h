// Public functions of the library's file subsystem, as the game sees them.
#pragma once
