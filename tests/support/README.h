// Shared test helpers: temporary directories, loopback servers, SDK fixtures.
#pragma once
