int vlt_placeholder;
