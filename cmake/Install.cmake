# Install rules, package config and packages.
