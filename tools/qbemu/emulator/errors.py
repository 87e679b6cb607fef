"""QuickBase error codes and their short texts (quickbase-api.md, Appendix A)."""

ERROR_TEXTS = {
    0: "No error",
    1: "Unknown error",
    2: "Invalid input",
    3: "Insufficient permissions",
    4: "Bad ticket",
    5: "Unimplemented operation",
    6: "Syntax error",
    7: "API not allowed on application table",
    8: "SSL required for this application table",
    9: "Invalid choice",
    10: "Invalid field type",
    11: "Could not parse XML input",
    12: "Invalid source DBID",
    13: "Invalid account ID",
    14: "Missing DBID or DBID of wrong type",
    15: "Invalid hostname",
    19: "Unauthorized IP address",
    20: "Unknown username/password",
    21: "Unknown user",
    22: "Sign-in required",
    23: "Feature not supported",
    24: "Invalid application token",
    25: "Duplicate application token",
    26: "Max count",
    27: "Registration required",
    28: "Managed by LDAP",
    29: "User on deny list",
    30: "No such record",
    31: "No such field",
    32: "The application does not exist or was deleted",
    33: "No such query",
    34: "You cannot change the value of this field",
    35: "No data returned",
    36: "Cloning error",
    37: "No such report",
    38: "Periodic report contains a restricted field",
    50: "Missing required field",
    51: "Attempting to add a non-unique value to a field marked unique",
    52: "Duplicate field",
    53: "Required fields missing from import data",
    54: "Cached list of records not found",
    60: "Update conflict detected",
    61: "Schema is locked",
    70: "Account size limit exceeded",
    71: "Database size limit exceeded",
    73: "Account suspended",
    74: "Not allowed to create applications",
    75: "View too large",
    76: "Too many criteria",
    77: "API request limit exceeded",
    78: "Data limit exceeded",
    80: "Overflow",
    81: "Item not found",
    82: "Operation took too long",
    83: "Access denied",
    84: "Database error",
    85: "Schema update error",
    87: "Invalid group",
    100: "Technical difficulties, try again later",
    101: "Temporarily unavailable",
    102: "Invalid request - we cannot understand the URL you specified",
    103: "Invalid srvr parameter",
    104: "Unusually heavy traffic, please retry in a few minutes",
    105: "Technical difficulties",
    110: "Invalid role",
    111: "User exists",
    112: "No user in role",
    113: "User already in role",
    114: "Must be admin user",
    150: "Upgrade plan",
    151: "Expired plan",
    152: "App suspended",
}


def error_text(code):
    return ERROR_TEXTS.get(int(code), "Unknown error")


class QbError(Exception):
    """A QuickBase API error: the reply carries errcode, errtext and (when given) errdetail."""

    def __init__(self, code, detail=None, text=None):
        self.code = int(code)
        self.text = text if text is not None else error_text(self.code)
        self.detail = detail
        super().__init__(f"{self.code} {self.text}: {detail or ''}")
