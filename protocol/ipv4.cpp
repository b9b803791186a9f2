#include "protocol/ipv4.h"
