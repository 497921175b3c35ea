#pragma once

// The RCDATA resource that services_tests carries (ServicesTests.rc).
#define SERVICES_TEXT "Resource text of services_tests, read in place."
