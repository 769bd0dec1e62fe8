"""Helpers of the end-to-end tests under Wine (see tests/e2e/run)."""
